#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec/LinkCodec.h"

namespace velgate {
namespace {

const std::string ETX = "\x03";
const std::string EOT = "\x04";

TEST(UpstreamMessages, EveryFormByteForByte) {
  EXPECT_EQ(AA00(5, "sh/dx\r\n"), "AA00^5^sh/dx\r\n" + ETX);
  EXPECT_EQ(AA00(7, "a^b\r\n"), "AA00^7^a^b\r\n" + ETX);  // a caret inside a field is sent as is
  EXPECT_EQ(AA01(3, 17), "AA01^3^17" + ETX);
  EXPECT_EQ(AA02(2, 32767), "AA02^2^32767" + ETX);
  EXPECT_EQ(AA03ConnectRequest(5, "10.1.2.3", "1", 17),
            "AA03^Connect Request^5^3^10.1.2.3^1^17" + ETX);
  EXPECT_EQ(AA03(4, "ac"), "AA03^4^ac" + ETX);
  EXPECT_EQ(AA04(12, "04-Dec-2026 0530Z", true), "AA04^12^04-Dec-2026 0530Z^80" + ETX);
  EXPECT_EQ(AA04(12, "04-Dec-2026 0530Z", false), "AA04^12^04-Dec-2026 0530Z" + ETX);
  EXPECT_EQ(AA06("G1ABC", 6, "host.example", 9),
            "AA06^Outgoing Connect Request to G1ABC^6^3^host.example^0^9" + ETX);
  EXPECT_EQ(AA17("", 4, "12"), "AA17^^4^12" + ETX);
  EXPECT_EQ(AA18(), "AA18^" + ETX);
  EXPECT_EQ(AA38Resync("G1ABC", 3, "127.0.0.2", "yellow", "04-Dec-2026 0530Z", "1", 7),
            "AA38^G1ABC^3^2^127.0.0.2^yellow^04-Dec-2026 0530Z^1^7" + ETX);
  EXPECT_EQ(AA38Outgoing("Y", 6, "H"), "AA38^Y^6^2^H^" + ETX);
  EXPECT_EQ(QrvReply("2026-12-04 12:00:00", "3.02", "/srv/velgate"),
            "QRV 2026-12-04 12:00:00 3.02^/srv/velgate" + ETX);
}

std::vector<std::string> Fed(DownstreamSplitter& splitter, std::string_view block) {
  EXPECT_EQ(splitter.Feed(block), DownstreamSplitter::Kind::kMessages);
  return {splitter.Messages().begin(), splitter.Messages().end()};
}

TEST(DownstreamSplitter, EverySplitPointGivesTheSameMessages) {
  const std::string recorded = "3" + ETX + "5" + ETX + "login: " + EOT + "4" + ETX + "5" + ETX +
                               "G1ABC" + EOT + "0" + ETX + "5" + ETX + "DX de K1TTT: 14025.0" +
                               ETX + "12" + EOT + "continued text" + EOT + EOT + "8" + ETX + "5" +
                               EOT + "held";
  DownstreamSplitter whole;
  const std::vector<std::string> expected = Fed(whole, recorded);
  ASSERT_EQ(expected.size(), 6u);
  EXPECT_EQ(expected[4], "");  // empty messages are passed on
  for (std::size_t cut = 0; cut <= recorded.size(); ++cut) {
    for (std::size_t second_cut = cut; second_cut <= recorded.size(); second_cut += 7) {
      DownstreamSplitter splitter;
      std::vector<std::string> got = Fed(splitter, recorded.substr(0, cut));
      for (const std::string& m : Fed(splitter, recorded.substr(cut, second_cut - cut)))
        got.push_back(m);
      for (const std::string& m : Fed(splitter, recorded.substr(second_cut))) got.push_back(m);
      ASSERT_EQ(got, expected) << "cut at " << cut << " and " << second_cut;
      EXPECT_EQ(splitter.Holding(), "held");
    }
  }
}

TEST(DownstreamSplitter, HandshakeWordsOnlyAsAWholeShortBlock) {
  DownstreamSplitter splitter;
  EXPECT_EQ(splitter.Feed("ZQ Cluster"), DownstreamSplitter::Kind::kGreeting);
  EXPECT_EQ(splitter.Feed("7261"), DownstreamSplitter::Kind::kReady);
  EXPECT_EQ(splitter.Feed("ZQ Cluster!"), DownstreamSplitter::Kind::kMessages);
  EXPECT_EQ(splitter.Holding(), "ZQ Cluster!");
  splitter.Reset();
  // A word split over blocks is recognised whole once the held part comes in front.
  EXPECT_EQ(splitter.Feed("72"), DownstreamSplitter::Kind::kMessages);
  EXPECT_EQ(splitter.Feed("61"), DownstreamSplitter::Kind::kReady);
  EXPECT_EQ(splitter.Feed("7261" + EOT), DownstreamSplitter::Kind::kMessages);
}

TEST(DownstreamSplitter, TooMuchWithoutAnEndIsAnOverflow) {
  DownstreamSplitter splitter;
  const std::string block(1024 * 1024, 'x');
  DownstreamSplitter::Kind kind = DownstreamSplitter::Kind::kMessages;
  for (int i = 0; i < 17 && kind == DownstreamSplitter::Kind::kMessages; ++i)
    kind = splitter.Feed(block);
  EXPECT_EQ(kind, DownstreamSplitter::Kind::kOverflow);
  EXPECT_EQ(splitter.Holding(), "");
}

}  // namespace
}  // namespace velgate
