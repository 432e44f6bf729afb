#include "platform/RecordFile.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace velgate {
namespace {

std::vector<std::string> Strings(const std::vector<std::string_view>& views) {
  return {views.begin(), views.end()};
}

TEST(RecordFileTest, LinesEndAtCrLfOrLfOrCr) {
  struct Case {
    std::string_view bytes;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\n", {"a"}},
      {"a\r", {"a"}},
      {"\r\n", {""}},
      {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
      {"a\r\n\r\nb\r\n", {"a", "", "b"}},
      {"a\n\rb", {"a", "", "b"}},  // LF then CR are two line ends, not one
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Strings(SplitRecordLines(c.bytes)), c.lines) << ::testing::PrintToString(c.bytes);
  }
}

TEST(RecordFileTest, FieldsAreQuotedOrBare) {
  struct Case {
    std::string_view line;
    std::vector<std::string> fields;
  };
  const Case cases[] = {
      {R"("AGWenabled",0)", {"AGWenabled", "0"}},
      {R"("Locked Out","10.1,2")", {"Locked Out", "10.1,2"}},
      {R"(  "Top",   200)", {"Top", "200"}},
      {R"("MonitorPort"," 15555")", {"MonitorPort", " 15555"}},  // blanks inside quotes stay
      {R"(bare,"quoted")", {"bare", "quoted"}},
      {R"("a" junk,"b")", {"a", "b"}},  // text after the closing quote is dropped
      {R"("a","b","c")", {"a", "b", "c"}},
      {R"("unclosed)", {"unclosed"}},
      {R"("",5)", {"", "5"}},
      {",", {"", ""}},
      {"", {""}}};
  for (const Case& c : cases) EXPECT_EQ(ParseRecordFields(c.line), c.fields) << c.line;
}

TEST(RecordFileTest, QuotedTextIsWrittenAsHeldAndReadsBack) {
  EXPECT_EQ(Quoted(""), R"("")");
  EXPECT_EQ(Quoted("10.0, 1"), R"("10.0, 1")");
  EXPECT_EQ(Quoted(R"(a"b)"), R"("a"b")");  // not escaped

  const std::string line = Quoted("Locked Out") + "," + Quoted(" 10.0, 1 ");
  EXPECT_EQ(ParseRecordFields(line), (std::vector<std::string>{"Locked Out", " 10.0, 1 "}));
}

}  // namespace
}  // namespace velgate
