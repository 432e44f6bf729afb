// Numbers the stream table derives from a connection: the address number and the listener colour.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "RunTimeErrorNumber.h"
#include "model/Colours.h"
#include "streams/StreamTable.h"

namespace velgate {
namespace {

using velgate::testing::ErrorNumberOf;
using velgate::testing::kNoError;

TEST(StreamNumbersTest, IPToNumberIsPositiveBelow128AndNegativeFromThere) {
  const std::pair<const char*, std::int32_t> cases[] = {
      {"0.0.0.0", 0},
      {"10.0.0.1", 167772161},
      {"127.255.255.255", 2147483647},
      {"128.0.0.1", -16777217},
      {"192.168.1.2", -1101529346},
      {"255.0.0.0", std::numeric_limits<std::int32_t>::min()}};  // the last one in range
  for (const auto& [address, number] : cases) EXPECT_EQ(IPToNumber(address), number) << address;
  for (const char* address : {"", "localhost", "::1", "10.0.0", "255.0.0.1", "256.0.0.0"})
    EXPECT_NE(ErrorNumberOf([&] { IPToNumber(address); }), kNoError) << address;
}

TEST(StreamNumbersTest, ListenerColourMarksTheFirstFourListeners) {
  const std::pair<int, Colour> cases[] = {{1, 0x0000FF00}, {2, 0x00FFAFAF}, {3, 0x00FFAFFF},
                                          {4, 0x00FF00FF}, {0, 0x00FFFF00}, {5, 0x00FFFF00}};
  for (const auto& [listener, colour] : cases)
    EXPECT_EQ(ListenerColour(listener), colour) << listener;
}

}  // namespace
}  // namespace velgate
