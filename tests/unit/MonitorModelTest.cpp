// The monitor client's model: what it holds and tells after each message, however the bytes are
// cut, and what it does with bytes that are no message.

#include "viewer/MonitorModel.h"

#include <gtest/gtest.h>

#include "codec/MonitorMessages.h"
#include "viewer/EventLines.h"

namespace velgate::viewer {
namespace {

namespace mm = monitor_messages;
using Texts = std::vector<std::string>;

StatusRow Paint(const std::string& address, Colour address_colour, Colour port_colour,
                const std::string& call, Colour call_colour, const std::string& tip = "") {
  StatusRow row;
  row.address = {address, address_colour};
  row.port = {"51234", port_colour};
  row.call = {call, call_colour};
  row.address_tip = tip;
  return row;
}

constexpr Colour kW = colours::kWhite, kY = colours::kYellow, kG = colours::kGreen,
                 kC = colours::kCyan, kR = colours::kRed, kP = colours::kLightPink;

// The model with its events written as the line mode writes them, without the time stamp.
struct Watched {
  Watched() : session(io, timers, model, "127.0.0.1", 1) { model.SetEvents(&lines); }
  Texts Feed(const std::string& bytes) {
    model.Feed(bytes);
    return std::exchange(written, {});
  }
  Texts FeedMessages(std::initializer_list<std::string> messages) {
    std::string bytes;
    for (const std::string& message : messages) bytes += message + '\x04';
    return Feed(bytes);
  }

  ManualClock clock;
  asio::io_context io;
  TimerQueue timers{clock};
  MonitorModel model{clock};
  MonitorSession session;
  Texts written;
  EventLines lines{clock, session, [this](const std::string& line) {
                     written.push_back(line.substr(line.find(' ') + 1));
                   }};
};

TEST(MonitorModelTest, EachMessageTellsItsChangeInTheLineMode) {
  Watched w;
  const struct {
    std::string message;
    Texts told;
  } cases[] = {
      {mm::Row(false, 5, Paint("127.0.0.1", kY, kW, "", kW)),
       {"row 5 connected call=- address=127.0.0.1 port=51234"}},
      {mm::Row(false, 5, Paint("127.0.0.1", kY, kW, "", kW)), {}},  // the same row again
      {mm::CallField(false, 5, Paint("", kY, kW, "G0A", kY), '7'),
       {"row 5 logging in call=- address=127.0.0.1 port=51234"}},
      {mm::CallField(false, 5, Paint("", kY, kW, "G0A^B", kY), '6'),
       {"row 5 logging in call=G0A^B address=127.0.0.1 port=51234"}},
      {mm::Row(true, 5, Paint("127.0.0.1", kG, kY, "G0ABC", kG)),
       {"row 5 login sent call=G0ABC address=127.0.0.1 port=51234"}},
      {mm::Row(true, 5, Paint("127.0.0.1", kG, kY, "G0ABC", kG, "04-Dec-2026 1200Z")),
       {"row 5 logged in call=G0ABC address=127.0.0.1 port=51234"}},
      {mm::InputCopy("sh/dx\r\nbye\r\n"), {"in 5 sh/dx", "in 5 bye"}},
      {mm::OutputCopy("DX de K1TTT:\x1b[2J 14025.0\r\n"), {"out 5 DX de K1TTT:\\x1B[2J 14025.0"}},
      {mm::Trace(5, "not flagged"), {}},
      {mm::ListenerCounter(1, "R"), {"summary listener 1 counter R"}},
      {mm::Listener(1, kG, "7373"), {"summary listener 1 port 7373"}},
      {mm::AllTimeHigh(40, "04-Dec-2026  05:30"), {"summary all-time mark 40 04-Dec-2026  05:30"}},
      {mm::SessionHigh(3, "08-Dec-2026  02:00"), {"summary session mark 3 08-Dec-2026  02:00"}},
      {mm::Status("Cluster online"), {"summary status Cluster online"}},
      {mm::Row(false, 5, Paint("127.0.0.1", kW, kW, "G0ABC", kW)),
       {"row 5 ended call=G0ABC address=127.0.0.1 port=51234"}},
      {mm::Row(false, 9, Paint("10.0.0.9", kW, kW, "OLD", kW)), {}},  // long gone, never shown
      {mm::Row(false, 6, Paint("host.example", kY, kW, "K1ABC", kY)),
       {"row 6 calling out call=K1ABC address=host.example port=51234"}},
      {mm::Row(false, 6, Paint("host.example", kC, kW, "K1ABC", kG)),
       {"row 6 called out call=K1ABC address=host.example port=51234"}},
      {mm::Row(false, 7, Paint("10.1.1.1", kG, kP, "IP Locked Out", kG)),
       {"row 7 locked out call=IP Locked Out address=10.1.1.1 port=51234"}},
      {mm::Row(false, 8, Paint("10.1.1.2", kG, kP, "GET / HTTP", kR)),
       {"row 8 nuisance call=GET / HTTP address=10.1.1.2 port=51234"}},
      {mm::Row(false, 10, Paint("10.1.1.3", kG, kY, "W1AW", kP)),
       {"row 10 waiting call=W1AW address=10.1.1.3 port=51234"}},
      {"^ZQ99^what", {"bad message ^ZQ99^what"}},
      {"", {"bad message "}},
      {mm::Row(false, 70000, Paint("10.1.1.4", kY, kW, "", kW)),
       {"bad message a row of stream 70000"}},
  };
  for (const auto& c : cases) EXPECT_EQ(w.FeedMessages({c.message}), c.told) << c.message;
  EXPECT_EQ(w.model.BadMessages(), 3u);
  EXPECT_EQ(w.model.Followed(), 5);  // the gateway's own choice, from its ^ZQ60 rows
  EXPECT_EQ(w.model.LoggedIn(), 0);
  EXPECT_EQ(w.model.Listeners().at(1).counter, "R");
}

TEST(MonitorModelTest, BytesCutAnywhereOrJoinedGiveTheSameModel) {
  const std::string bytes = mm::Row(false, 3, Paint("2001:db8::1", kY, kW, "", kW)) + '\x04' +
                            mm::Row(true, 3, Paint("2001:db8::1", kG, kG, "G1^XY", kG)) + '\x04' +
                            mm::Status("up") + '\x04' + mm::OutputCopy("a\r\nb") + '\x04' +
                            mm::AllTimeHigh(2, "d") + '\x04';
  Watched whole;
  const Texts told = whole.Feed(bytes);
  ASSERT_EQ(told.size(), 6u);
  for (std::size_t cut = 1; cut < bytes.size(); ++cut) {
    Watched split;
    Texts parts = split.Feed(bytes.substr(0, cut));
    for (const std::string& line : split.Feed(bytes.substr(cut))) parts.push_back(line);
    EXPECT_EQ(parts, told) << "cut at " << cut;
  }
  Watched bytewise;
  Texts each;
  for (const char c : bytes)
    for (const std::string& line : bytewise.Feed(std::string(1, c))) each.push_back(line);
  EXPECT_EQ(each, told);
  EXPECT_EQ(bytewise.model.Row(3)->call, "G1^XY");
  EXPECT_EQ(bytewise.model.Row(3)->state, RowState::kLoggedIn);
}

TEST(MonitorModelTest, WhatAPeerSendsStaysBounded) {
  Watched w;
  // A message that never ends is dropped at its bound, and the next one is read.
  const std::string endless(MonitorModel::kMostMessageBytes / 4, 'x');
  Texts told;
  for (int i = 0; i < 5; ++i) {
    told = w.Feed(endless);
    EXPECT_EQ(told.size(), i == 4 ? 1u : 0u) << "feed " << i;
  }
  EXPECT_EQ(told[0], "bad message " + std::string(57, 'x') + "...");
  EXPECT_EQ(w.Feed("tail\x04" + mm::Status("after") + '\x04'), Texts{"summary status after"});
  EXPECT_EQ(w.model.BadMessages(), 1u);

  // The traffic keeps its last lines, each cut short.
  w.FeedMessages({mm::Row(true, 4, Paint("127.0.0.1", kG, kY, "G0ABC", kG))});
  const std::string many(MonitorModel::kMostTrafficLines + 10, '\n');
  w.FeedMessages({mm::InputCopy("first\n" + many + std::string(5000, 'y'))});
  EXPECT_EQ(w.model.Traffic().size(), MonitorModel::kMostTrafficLines);
  EXPECT_EQ(w.model.Traffic().back().text.size(), MonitorModel::kMostLineBytes);
  EXPECT_TRUE(w.model.Traffic().back().text.ends_with("..."));
  EXPECT_EQ(w.model.Traffic().back().stream, 4);
  EXPECT_EQ(w.model.Traffic().back().time, "12:00:00");
}

TEST(MonitorModelTest, EndedRowsFadeAndNewCallersAreFollowedWhenAsked) {
  Watched w;
  w.model.SetFollowNew();
  w.FeedMessages({mm::Row(false, 2, Paint("127.0.0.2", kY, kW, "", kW))});
  EXPECT_EQ(w.model.Followed(), 2);
  EXPECT_EQ(w.model.TakeNewcomers(), std::vector<int>{2});
  w.FeedMessages({mm::Row(false, 3, Paint("h", kY, kW, "K1", kY))});
  EXPECT_EQ(w.model.Followed(), 2) << "an outgoing connection is not a new caller";
  w.model.SetFlagged(3, true);
  EXPECT_EQ(w.FeedMessages({mm::Trace(3, "spot"), mm::Trace(2, "hidden")}), Texts{"trace 3 spot"});

  w.FeedMessages({mm::Row(false, 2, Paint("127.0.0.2", kW, kW, "", kW))});
  EXPECT_EQ(w.model.ShownRows().size(), 2u);
  w.clock.AdvanceMs(MonitorModel::kFadeMs - 1);
  EXPECT_FALSE(w.model.DropFaded());
  w.clock.AdvanceMs(1);
  EXPECT_TRUE(w.model.DropFaded());
  ASSERT_EQ(w.model.ShownRows().size(), 1u);
  EXPECT_EQ(w.model.ShownRows()[0]->stream, 3);
  // A new caller on the stream before the fade ran out starts a fade of its own later.
  w.FeedMessages({mm::Row(false, 3, Paint("h", kW, kW, "K1", kW)),
                  mm::Row(false, 3, Paint("127.0.0.9", kY, kW, "", kW))});
  w.clock.AdvanceMs(MonitorModel::kFadeMs);
  EXPECT_FALSE(w.model.DropFaded());
  EXPECT_EQ(w.model.ShownRows().size(), 1u);

  w.model.Reconnected();
  EXPECT_TRUE(w.model.ShownRows().empty());
  EXPECT_TRUE(w.model.Flagged(3)) << "the operator's flags outlast the connection";
}

}  // namespace
}  // namespace velgate::viewer
