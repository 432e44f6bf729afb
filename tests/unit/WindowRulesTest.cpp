// The windows' rules without a window: where the stream rows stand, and the lock-out editor.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "model/RowLayout.h"
#include "protection/LockOutEditor.h"
#include "protection/LockOuts.h"

namespace velgate {
namespace {

using Texts = std::vector<std::string>;

std::string Placed(const std::vector<PlacedRow>& rows) {
  std::string text;
  for (const PlacedRow& row : rows) {
    text += std::to_string(row.index) + "@" + std::to_string(row.top) + "/" +
            std::to_string(row.column) + " ";
  }
  return text;
}

TEST(RowLayoutTest, RowsFillColumnsDownToTheBottomAndOnlyNewRowsMoveWithoutAResize) {
  RowLayout layout;
  // Two listeners: the first stream row, 3, stands at Top 360. Height 2335 leaves room for
  // rows down to Top 1260 (bottom limit 1300).
  EXPECT_EQ(Placed(layout.ReFormat(2335, false, 2, 8)),
            "3@360/0 4@660/0 5@960/0 6@1260/0 7@360/1 8@660/1 ");
  // Rows added later: the last row placed is placed again, then the new ones.
  EXPECT_EQ(Placed(layout.ReFormat(2335, false, 2, 9)), "8@660/1 9@960/1 ");
  EXPECT_EQ(Placed(layout.ReFormat(100, true, 2, 12)), "");  // minimised: nothing moves
  layout.Resized();
  // Too low for even one row: every row opens a column of its own.
  EXPECT_EQ(Placed(layout.ReFormat(1000, false, 2, 5)), "3@360/1 4@360/2 5@360/3 ");
  EXPECT_EQ(Placed(RowLayout().ReFormat(5000, false, 0, 5)), "");  // no listeners, no rows
  EXPECT_EQ(RowLayout::FieldLeft(RowLayout::kCallLeft, 2), 2400 + 2 * 3860);
}

TEST(ShellSort4Test, SortsByCharacterCodesWithTheEmptyTextFirst) {
  const std::vector<std::pair<Texts, Texts>> cases = {
      {{"only"}, {"only"}},
      {{"", "1", "2", "3"}, {"", "1", "2", "3"}},
      {{"b", "", "a", "B", "9", "10", "ab", "a"}, {"", "10", "9", "B", "a", "a", "ab", "b"}},
      {{"z\xE9", "za", "z", "\xFF", "~"}, {"z", "za", "z\xE9", "~", "\xFF"}},
  };
  for (auto [list, sorted] : cases) {
    ShellSort4(list);
    EXPECT_EQ(list, sorted);
  }
  // Long enough for gaps of 40, 13 and 4 before the last pass.
  Texts many;
  for (int i = 0; i < 130; ++i) many.push_back(std::to_string((i * 37) % 130));
  Texts expected = many;
  std::sort(expected.begin(), expected.end());
  ShellSort4(many);
  EXPECT_EQ(many, expected);
}

TEST(LockOutsTest, TheFirstEntryThatBeginsTheAddressWinsAndStoredListsReplaceTheOld) {
  Settings settings;
  for (const char* entry : {"192.0.2.7", "10.", "192.0.2.", "10.", "192.0.2.70"})
    settings.AddLockOut(entry);
  const std::pair<const char*, int> cases[] = {
      {"192.0.2.7", 1}, {"192.0.2.70", 1}, {"192.0.2.8", 3}, {"10.1.1.1", 2}, {"10", 0}, {"", 0}};
  for (const auto& [address, first] : cases)
    EXPECT_EQ(FirstMatchingLockOut(settings, address), first) << address;
  EXPECT_FALSE(settings.HasEmptyLockOut());
  StoreLockOuts({"203.0.113.", ""}, settings);
  EXPECT_EQ(FirstMatchingLockOut(settings, "192.0.2.7"), 2);  // the empty entry refuses all
  EXPECT_EQ(FirstMatchingLockOut(settings, "203.0.113.9"), 1);
  EXPECT_TRUE(settings.HasEmptyLockOut());
}

Texts Rows(const LockOutEditor& editor) {
  Texts rows;
  for (int i = 1; i <= editor.RowCount(); ++i) rows.push_back(editor.Row(i));
  return rows;
}

Settings WithLockOuts(const Texts& list) {
  Settings settings;
  for (const std::string& entry : list) settings.AddLockOut(entry);
  return settings;
}

TEST(LockOutEditorTest, RowsAreEditedApartFromTheListAndSaveKeepsRowOrder) {
  const Texts list = {"192.0.2.7", "10.0.0.1", "198.51.100.0"};
  LockOutEditor unchanged(WithLockOuts(list));
  EXPECT_EQ(unchanged.SavedList(), list);  // opened and saved: the same, unsorted order
  EXPECT_FALSE(unchanged.Add(""));
  EXPECT_EQ(Rows(unchanged), list);

  LockOutEditor added(WithLockOuts(list));
  ASSERT_TRUE(added.Add("10.1."));
  EXPECT_EQ(Rows(added), (Texts{"10.0.0.1", "10.1.", "192.0.2.7", "198.51.100.0"}));

  // Row 2 of four deleted, then an entry added: the blank row goes to the top.
  LockOutEditor deleted(WithLockOuts({"d", "c", "b", "a"}));
  deleted.Delete(2);
  deleted.Delete(9);  // no such row
  EXPECT_EQ(Rows(deleted), (Texts{"d", "", "b", "a"}));
  deleted.Add("e");
  EXPECT_EQ(Rows(deleted), (Texts{"", "a", "b", "d", "e"}));
  Settings saved;
  StoreLockOuts(deleted.SavedList(), saved);
  EXPECT_EQ(Rows(LockOutEditor(saved)), (Texts{"a", "b", "d", "e"}));

  // Every row deleted and saved: an empty list, and the next Add makes row 1.
  LockOutEditor emptied(WithLockOuts({"a", "b"}));
  emptied.Delete(1);
  emptied.Delete(2);
  Settings none = WithLockOuts({"a", "b"});
  StoreLockOuts(emptied.SavedList(), none);
  EXPECT_EQ(none.LockOutCount, 0);
  LockOutEditor fresh(none);
  EXPECT_EQ(fresh.RowCount(), 0);
  fresh.Add("203.0.113.");
  EXPECT_EQ(Rows(fresh), Texts{"203.0.113."});
}

}  // namespace
}  // namespace velgate
