// The cluster link's wire format: every upstream form byte for byte, and the downstream splitter
// with its held tail.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/LinkCodec.h"

namespace velgate {
namespace {

const std::string ETX = "\x03";
const std::string EOT = "\x04";

TEST(UpstreamMessages, EveryFormByteForByte) {
  struct Case {
    std::string built;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {AA00(5, "sh/dx\r\n"), "AA00^5^sh/dx\r\n" + ETX},
      {AA01(3, 17), "AA01^3^17" + ETX},
      {AA02(2, 32767), "AA02^2^32767" + ETX},
      {AA03ConnectRequest(5, "10.1.2.3", "1", 17), "AA03^Connect Request^5^3^10.1.2.3^1^17" + ETX},
      {AA03ConnectRequest(9, "AGW/BPQ", "3", 2), "AA03^Connect Request^9^3^AGW/BPQ^3^2" + ETX},
      {AA03(4, "ac"), "AA03^4^ac" + ETX},
      {AA04(12, "04-Dec-2026 0530Z", true), "AA04^12^04-Dec-2026 0530Z^80" + ETX},
      {AA04(12, "04-Dec-2026 0530Z", false), "AA04^12^04-Dec-2026 0530Z" + ETX},
      {AA06("G1ABC", 6, "host.example", 9),
       "AA06^Outgoing Connect Request to G1ABC^6^3^host.example^0^9" + ETX},
      {AA17("X", 4, "12"), "AA17^X^4^12" + ETX},
      {AA17("", 4, "0"), "AA17^^4^0" + ETX},
      {AA18(), "AA18^" + ETX},
      {AA38Resync("G1ABC", 3, "127.0.0.2", "yellow", "04-Dec-2026 0530Z", "1", 7),
       "AA38^G1ABC^3^2^127.0.0.2^yellow^04-Dec-2026 0530Z^1^7" + ETX},
      {AA38Resync("", 8, "AGW/BPQ", "white", "", "2", 1), "AA38^^8^2^AGW/BPQ^white^^2^1" + ETX},
      {AA38Outgoing("Y", 6, "H"), "AA38^Y^6^2^H^" + ETX},
      {QrvReply("2026-12-04 12:00:00", "3.02", "/srv/velgate"),
       "QRV 2026-12-04 12:00:00 3.02^/srv/velgate" + ETX},
      // A caret inside a field is sent unchanged.
      {AA00(7, "a^b\r\n"), "AA00^7^a^b\r\n" + ETX},
  };
  for (const Case& c : cases) EXPECT_EQ(c.built, c.expected);
}

std::vector<std::string> Fed(DownstreamSplitter& splitter, std::string_view block) {
  EXPECT_EQ(splitter.Feed(block), DownstreamSplitter::Kind::kMessages);
  return {splitter.Messages().begin(), splitter.Messages().end()};
}

TEST(DownstreamSplitter, MessagesInOneBlockAndAcrossBlocks) {
  DownstreamSplitter splitter;
  EXPECT_EQ(Fed(splitter, "3" + ETX + "5" + ETX + "login: " + EOT + "1" + ETX + "5" + EOT),
            (std::vector<std::string>{"3" + ETX + "5" + ETX + "login: ", "1" + ETX + "5"}));
  EXPECT_EQ(splitter.Holding(), "");

  EXPECT_EQ(Fed(splitter, "0" + ETX + "5" + ETX + "hal"), std::vector<std::string>{});
  EXPECT_EQ(splitter.Holding(), "0" + ETX + "5" + ETX + "hal");
  EXPECT_EQ(Fed(splitter, "f" + EOT + "par"),
            std::vector<std::string>{"0" + ETX + "5" + ETX + "half"});
  EXPECT_EQ(splitter.Holding(), "par");
  // Empty messages are passed on as they are; what to do with them is the receiver's business.
  EXPECT_EQ(Fed(splitter, "t" + EOT + EOT), (std::vector<std::string>{"part", ""}));
}

TEST(DownstreamSplitter, HandshakeWordsOnlyAsAWholeShortBlock) {
  DownstreamSplitter splitter;
  EXPECT_EQ(splitter.Feed("ZQ Cluster"), DownstreamSplitter::Kind::kGreeting);
  EXPECT_EQ(splitter.Feed("7261"), DownstreamSplitter::Kind::kReady);
  EXPECT_EQ(splitter.Holding(), "");

  // Followed by other data, or split over blocks, they are only held back.
  EXPECT_EQ(splitter.Feed("ZQ Cluster!"), DownstreamSplitter::Kind::kMessages);
  EXPECT_EQ(splitter.Holding(), "ZQ Cluster!");
  splitter.Reset();
  EXPECT_EQ(splitter.Feed("72"), DownstreamSplitter::Kind::kMessages);
  // The held part comes in front of the next block, so the word is recognised whole.
  EXPECT_EQ(splitter.Feed("61"), DownstreamSplitter::Kind::kReady);
  splitter.Reset();
  EXPECT_EQ(splitter.Feed("7261" + EOT), DownstreamSplitter::Kind::kMessages);
  EXPECT_EQ(splitter.Messages().size(), 1u);
}

TEST(DownstreamSplitter, TooMuchWithoutAnEndIsAnOverflow) {
  DownstreamSplitter splitter;
  std::string block(1024 * 1024, 'x');
  DownstreamSplitter::Kind kind = DownstreamSplitter::Kind::kMessages;
  for (int i = 0; i < 17 && kind == DownstreamSplitter::Kind::kMessages; ++i)
    kind = splitter.Feed(block);
  EXPECT_EQ(kind, DownstreamSplitter::Kind::kOverflow);
  EXPECT_EQ(splitter.Holding(), "");
}

TEST(DownstreamSplitter, EverySplitPointGivesTheSameMessages) {
  const std::string recorded = "3" + ETX + "5" + ETX + "login: " + EOT + "4" + ETX + "5" + ETX +
                               "G1ABC" + EOT + "0" + ETX + "5" + ETX + "DX de K1TTT: 14025.0" +
                               ETX + "12" + EOT + "continued text" + EOT + EOT + "8" + ETX + "5" +
                               EOT;
  DownstreamSplitter whole;
  const std::vector<std::string> expected = Fed(whole, recorded);
  ASSERT_EQ(expected.size(), 6u);
  for (std::size_t cut = 0; cut <= recorded.size(); ++cut) {
    for (std::size_t second_cut = cut; second_cut <= recorded.size(); second_cut += 7) {
      DownstreamSplitter splitter;
      std::vector<std::string> got = Fed(splitter, recorded.substr(0, cut));
      for (const std::string& m : Fed(splitter, recorded.substr(cut, second_cut - cut)))
        got.push_back(m);
      for (const std::string& m : Fed(splitter, recorded.substr(second_cut))) got.push_back(m);
      ASSERT_EQ(got, expected) << "cut at " << cut << " and " << second_cut;
      EXPECT_EQ(splitter.Holding(), "");
    }
  }
}

TEST(SplitFields, FieldsAtEveryEtx) {
  std::vector<std::string_view> fields;
  SplitFields("", fields);
  EXPECT_TRUE(fields.empty());
  SplitFields("text only", fields);
  EXPECT_EQ(fields, (std::vector<std::string_view>{"text only"}));
  const std::string message = "0" + ETX + "5" + ETX + "" + ETX + "41";
  SplitFields(message, fields);
  EXPECT_EQ(fields, (std::vector<std::string_view>{"0", "5", "", "41"}));
  SplitFields(std::string_view(ETX), fields);
  EXPECT_EQ(fields, (std::vector<std::string_view>{"", ""}));
}

}  // namespace
}  // namespace velgate
