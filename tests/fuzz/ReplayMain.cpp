// Runs a fuzz target without libFuzzer: over the seed inputs, then over deterministic random
// variations of them, so the target is exercised by every test run.

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

std::vector<std::string> FuzzSeeds();

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::stoi(argv[1]) : 2000;
  std::vector<std::string> seeds = FuzzSeeds();
  for (const std::string& seed : seeds) {
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(seed.data()), seed.size());
  }
  std::mt19937 random(20261206);
  for (int round = 0; round < rounds; ++round) {
    std::string input = seeds[random() % seeds.size()];
    int edits = 1 + static_cast<int>(random() % 8);
    for (int e = 0; e < edits; ++e) {
      std::size_t at = input.empty() ? 0 : random() % (input.size() + 1);
      switch (random() % 4) {
        case 0:
          input.insert(at, 1, static_cast<char>(random() % 256));
          break;
        case 1:
          if (at < input.size()) input.erase(at, 1);
          break;
        case 2:
          input.insert(at, seeds[random() % seeds.size()]);
          break;
        default:
          if (at < input.size()) input[at] = "\x03\x04^0123456789"[random() % 14];
          break;
      }
    }
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
  }
  std::printf("%d inputs run\n", rounds + static_cast<int>(seeds.size()));
  return 0;
}
