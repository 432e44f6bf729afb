// In a libFuzzer build: with VELGATE_FUZZ_SEEDS=DIR the target writes its seed inputs into DIR,
// one file each, and ends, so a fuzzing run starts from them.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

std::vector<std::string> FuzzSeeds();

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* folder = std::getenv("VELGATE_FUZZ_SEEDS");
  if (folder == nullptr) return 0;
  int n = 0;
  for (const std::string& seed : FuzzSeeds()) {
    std::ofstream(std::string(folder) + "/seed-" + std::to_string(++n), std::ios::binary) << seed;
  }
  std::printf("%d seeds written to %s\n", n, folder);
  std::exit(0);
}
