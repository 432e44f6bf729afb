// Numbers the stream table derives from a connection: the address number and the listener colour.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "RunTimeErrorNumber.h"
#include "streams/StreamTable.h"
#include "ui/Colours.h"

namespace velgate {
namespace {

using velgate::testing::ErrorNumberOf;
using velgate::testing::kNoError;

TEST(StreamNumbersTest, IPToNumberIsPositiveBelow128AndNegativeFromThere) {
  struct Case {
    const char* address;
    std::int32_t number;
  };
  const Case cases[] = {
      {"0.0.0.0", 0},
      {"10.0.0.1", 167772161},
      {"127.0.0.1", 2130706433},
      {"127.255.255.255", 2147483647},
      {"128.0.0.0", -16777216},
      {"128.0.0.1", -16777217},
      {"192.168.1.2", -1101529346},
      {"255.0.0.0", std::numeric_limits<std::int32_t>::min()},  // the last one in range
  };
  for (const Case& c : cases) EXPECT_EQ(IPToNumber(c.address), c.number) << c.address;
}

TEST(StreamNumbersTest, IPToNumberFailsOnShortAddressesAndOutOfRange) {
  for (const char* address :
       {"", "localhost", "::1", "10.0.0", "10.0", "255.255.255.255", "255.0.0.1", "256.0.0.0"}) {
    EXPECT_NE(ErrorNumberOf([&] { IPToNumber(address); }), kNoError) << address;
  }
}

TEST(StreamNumbersTest, ListenerColourMarksTheFirstFourListeners) {
  struct Case {
    int listener;
    Colour colour;
  };
  const Case cases[] = {{1, 0x0000FF00}, {2, 0x00FFAFAF}, {3, 0x00FFAFFF}, {4, 0x00FF00FF},
                        {0, 0x00FFFF00}, {5, 0x00FFFF00}, {7, 0x00FFFF00}, {-1, 0x00FFFF00}};
  for (const Case& c : cases) EXPECT_EQ(ListenerColour(c.listener), c.colour) << c.listener;
}

}  // namespace
}  // namespace velgate
