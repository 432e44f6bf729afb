// Seed inputs for the cluster receive target: each code, the handshake words, bad fields. The
// first byte chooses the block size (16 here, so the handshake words arrive whole).

#include <string>
#include <vector>

std::vector<std::string> FuzzSeeds() {
  const std::string e = "\x03";
  const std::string t = "\x04";
  std::vector<std::string> seeds = {
      "ZQ Cluster",
      "7261",
      "0" + e + "3" + e + "text" + e + "41" + t,
      "1" + e + "4" + t + "continued" + t,
      "2" + e + "5" + e + "note" + t,
      "3" + e + "6" + e + "login: " + t,
      "4" + e + "3" + e + "G1ABC" + t,
      "5" + e + "3" + e + "G1ABC" + t,
      "6" + e + "3" + t,
      "7" + e + "3" + e + "refused" + t,
      "8" + e + "3" + t + "8" + e + "4" + e + "x" + e + "0" + t,
      "9" + e + "CALL" + e + "127.0.0.1" + e + "1" + t,
      "10" + e + "disconnect" + t,
      "10" + e + "other" + t,
      "x" + e + "3" + t + t + "1" + e + "-1" + t + "1" + e + "99999" + t + "1" + e + "0" + t,
      "1" + e + "6" + t + "tail without end",
  };
  for (std::string& seed : seeds) seed.insert(0, 1, '\x0f');
  return seeds;
}
