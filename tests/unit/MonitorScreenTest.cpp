// The monitor client's screen as text: what an 80x24 terminal shows, what each key asks for,
// sorting and finding, and a table of 30,000 rows.

#include "viewer/MonitorScreen.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "codec/MonitorMessages.h"

namespace velgate::viewer {
namespace {

using Texts = std::vector<std::string>;

struct Recorded final : ViewerActions {
  void Follow(int s) override { asked.push_back("follow " + std::to_string(s)); }
  void FollowEachNew() override { asked.push_back("each new"); }
  void SetFlag(int s, bool on) override {
    asked.push_back("flag " + std::to_string(s) + (on ? " on" : " off"));
  }
  void ClearFlags() override { asked.push_back("no flags"); }
  void AskEverything() override { asked.push_back("all"); }
  void SetFeed(bool on) override { feed = on, asked.push_back(on ? "feed on" : "feed off"); }
  bool FeedOn() const override { return feed; }
  void ClearTraffic() override { asked.push_back("clear"); }
  Texts asked;
  bool feed = true;
};

struct Screen {
  void Rows(int first, int count, const std::vector<std::string>& calls) {
    std::string bytes;
    for (int i = 0; i < count; ++i) {
      StatusRow row;
      row.address = {"10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250), 65280};
      row.port = {"4" + std::to_string(1000 + i % 9000), 65280};
      row.call = {calls.empty() ? "C" + std::to_string(i) : calls[i % calls.size()], 65280};
      row.address_tip = "08-Dec-2026 0200Z";
      bytes += monitor_messages::Row(false, first + i, row) + '\x04';
    }
    model.Feed(bytes);
  }
  Texts Lines(int width = 80, int height = 24) {
    Texts lines;
    for (const PictureLine& line : screen.Picture(width, height)) lines.push_back(line.text);
    return lines;
  }
  // The stream numbers of the table's lines, in order.
  std::vector<int> Streams() {
    std::vector<int> streams;
    const Texts lines = Lines();
    for (std::size_t i = 4; i < lines.size() && !lines[i].starts_with("--"); ++i)
      if (!lines[i].empty()) streams.push_back(std::stoi(lines[i].substr(1, 5)));
    return streams;
  }
  void Keys(std::initializer_list<int> keys) {
    for (const int key : keys) screen.Key(key);
  }

  ManualClock clock;
  asio::io_context io;
  TimerQueue timers{clock};
  MonitorModel model{clock};
  MonitorSession session{io, timers, model, "::1", 15555};
  Recorded actions;
  MonitorScreen screen{model, session, actions};
};

TEST(MonitorScreenTest, AnEightyByTwentyFourTerminalShowsEveryPart) {
  Screen s;
  s.Rows(5, 1, {"G0ABC"});
  s.model.Feed(monitor_messages::Listener(1, 65280, "7373") + '\x04' +
               monitor_messages::AllTimeHigh(40, "04-Dec-2026  05:30") + '\x04' + "^ZQ99^\x04");
  const Texts lines = s.Lines();
  ASSERT_EQ(lines.size(), 24u);
  for (const std::string& line : lines) EXPECT_LE(line.size(), 80u) << line;
  EXPECT_EQ(lines[0], "velgate-monitor  on 1  logged in 1   connecting [::1]:15555");
  EXPECT_EQ(lines[1], "session -   all-time 40 04-Dec-2026  05:30");
  EXPECT_EQ(lines[2], "listeners 1:7373 0   ");
  EXPECT_TRUE(lines[3].starts_with("  Strm Address              Port  Via   Call       State"));
  EXPECT_EQ(lines[4],
            "    5  10.0.0.0             41000 7373  G0ABC      logged in   08-Dec-2026 0200Z");
  EXPECT_TRUE(lines[16].starts_with("-- no stream followed (Enter) ---"));
  EXPECT_EQ(lines[22], "bad messages 1 (last ^ZQ99^)   sort stream");
  EXPECT_TRUE(lines[23].starts_with("q quit  Enter follow") &&
              lines[23].find("? help") != std::string::npos);
  // The cursor's row in reverse, its fields in the gateway's colours over it.
  const auto picture = s.screen.Picture(80, 24);
  const auto& spans = picture[4].spans;
  ASSERT_FALSE(spans.empty());
  EXPECT_TRUE(spans[0].reverse);
  const auto address = std::ranges::find(spans, 7u, &Span::from);
  ASSERT_NE(address, spans.end());
  EXPECT_EQ(address->colour, TerminalColour::kGreen);
  EXPECT_TRUE(address->reverse);
  // Too small a terminal still gets a picture of its size.
  EXPECT_EQ(s.Lines(20, 5).size(), 5u);
}

TEST(MonitorScreenTest, EachKeyAsksForItsCommand) {
  Screen s;
  s.Rows(5, 2, {});
  const struct {
    std::vector<int> keys;
    Texts asked;
  } cases[] = {
      {{keys::kEnter}, {"follow 5"}},
      {{keys::kDown, keys::kEnter}, {"follow 6"}},
      {{keys::kEnd, 'f'}, {"flag 6 on"}},
      {{keys::kHome, 'f'}, {"flag 5 on"}},
      {{'a', 'x', 'F', 'b', 'c'}, {"each new", "follow 0", "no flags", "all", "clear"}},
      {{'m', 'm'}, {"feed off", "feed on"}},
      {{'?', 'a', 'a'}, {"each new"}},  // the first key after help only closes it
      {{'/', 'a', keys::kEscape, 's', 's', 's'}, {}},
  };
  for (const auto& c : cases) {
    s.actions.asked.clear();
    for (const int key : c.keys) EXPECT_TRUE(s.screen.Key(key));
    EXPECT_EQ(s.actions.asked, c.asked) << c.keys.size();
  }
  EXPECT_FALSE(s.screen.Key('q'));
  s.screen.Key('?');
  EXPECT_EQ(s.Lines()[0], "velgate-monitor: the keys");
}

TEST(MonitorScreenTest, SortsFindsAndMovesOverThirtyThousandRows) {
  Screen s;
  s.Rows(3, 3, {"W1AW", "G0ABC", "K1XYZ"});
  EXPECT_EQ(s.Streams(), (std::vector<int>{3, 4, 5}));
  s.Keys({'s'});
  EXPECT_EQ(s.Streams(), (std::vector<int>{4, 5, 3}));
  EXPECT_EQ(s.screen.Sort(), SortKey::kCall);
  s.Keys({'/', 'w', '1', keys::kEnter});
  EXPECT_EQ(s.screen.Cursor(), 3);
  s.Keys({'/', 'z', 'z', keys::kEnter});
  EXPECT_EQ(s.screen.Cursor(), 3);
  EXPECT_NE(s.Lines()[22].find("no call sign holds zz"), std::string::npos);

  Screen big;
  big.Rows(1, 30000, {});
  big.Keys({keys::kEnd});
  EXPECT_EQ(big.screen.Cursor(), 30000);
  EXPECT_EQ(big.Streams().back(), 30000);
  big.Keys({keys::kPageUp});
  const std::vector<int> shown = big.Streams();
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(big.screen.Cursor(), shown.front()) << "a page up, the cursor at the top";
  EXPECT_FALSE(big.screen.Stale());
  big.model.Feed(monitor_messages::Status("Cluster online") + '\x04');
  EXPECT_TRUE(big.screen.Stale());
}

}  // namespace
}  // namespace velgate::viewer
