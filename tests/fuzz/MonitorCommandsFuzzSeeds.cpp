// Seed inputs for the monitor command target: block size, then commands.

#include <string>
#include <vector>

std::vector<std::string> FuzzSeeds() {
  return {"\x0fM*^",
          "\x0fN*^",
          "\x0fM-^",
          "\x0fM5^N5^M0^",
          "\x0f"
          "B",
          "\x0f"
          "A",
          "\x0f"
          "3",
          "\x0f-1",
          "\x00M99999^M",
          "\x03M^^N^^",
          "\x0fM*^B",
          "\x0fM2.5^N1e9^",
          "\x0fM*^M*^A"};
}
