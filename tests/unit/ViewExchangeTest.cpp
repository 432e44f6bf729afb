// A window thread reading the view model through the exchange while the gateway's thread
// writes it.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "model/ViewExchange.h"

namespace velgate {
namespace {

TEST(ViewExchangeTest, ChangesAreMergedUntilTakenAndLabelsGoOnlyWhenChanged) {
  ViewModel view;
  view.GrowRows(5);
  ViewExchange exchange;
  view.MutableRow(4).call.text = "G1ABC";
  view.MutableRow(2).call.text = "K1AAA";
  exchange.Publish(view);
  view.MutableRow(4).call.text = "G1XYZ";
  exchange.Publish(view);

  ViewChanges first = exchange.Take();
  ASSERT_EQ(first.rows.size(), 2u);
  EXPECT_EQ(first.rows[0].first, 4);
  EXPECT_EQ(first.rows[0].second.call.text, "G1XYZ");  // once, newest
  EXPECT_EQ(first.rows[1].second.call.text, "K1AAA");
  EXPECT_EQ(first.row_count, 6);
  EXPECT_TRUE(first.labels && first.indicators);  // the first publication has everything

  exchange.Publish(view);
  ViewChanges quiet = exchange.Take();
  EXPECT_TRUE(quiet.rows.empty());
  EXPECT_FALSE(quiet.labels || quiet.indicators);
  EXPECT_EQ(quiet.row_count, 6);

  view.UpdateLabels([](MainLabels& labels) { labels.lblIn = "3"; });
  view.MutableRow(4).call.colour = colours::kGreen;
  exchange.Publish(view);
  ViewChanges later = exchange.Take();
  ASSERT_TRUE(later.labels);
  EXPECT_EQ(later.labels->lblIn, "3");
  ASSERT_EQ(later.rows.size(), 1u);
  EXPECT_EQ(later.rows[0].second.call.colour, colours::kGreen);
}

TEST(ViewExchangeTest, AWindowThreadEndsWithExactlyTheRowsTheGatewayWrote) {
  constexpr int kRows = 300;
  ViewModel view;
  view.GrowRows(kRows - 1);
  ViewExchange exchange;
  std::atomic<bool> done{false};
  std::vector<StatusRow> shown(kRows);
  std::thread window([&] {
    for (bool last = false; !last;) {
      last = done.load();
      for (auto& [s, row] : exchange.Take().rows) shown[static_cast<std::size_t>(s)] = row;
    }
  });
  for (int i = 0; i < 20000; ++i) {
    StatusRow& row = view.MutableRow((i * 7) % kRows);
    row.call.text = "C" + std::to_string(i);
    row.address_tip.assign(static_cast<std::size_t>(i % 64), 'x');
    if (i % 10 == 0) exchange.Publish(view);
  }
  exchange.Publish(view);
  done = true;
  window.join();
  for (int s = 0; s < kRows; ++s) {
    EXPECT_EQ(shown[static_cast<std::size_t>(s)].call.text, view.Row(s).call.text) << s;
    EXPECT_EQ(shown[static_cast<std::size_t>(s)].address_tip, view.Row(s).address_tip) << s;
  }
}

}  // namespace
}  // namespace velgate
