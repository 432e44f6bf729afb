// Seed inputs for the parsers target: 0 telnet filter (then the block size), 1 Velgate.cfg,
// 2 highwater.dat, 3 the monitor client (then the block size).

#include <string>
#include <vector>

std::vector<std::string> FuzzSeeds() {
  using namespace std::string_literals;
  return {
      "\x00\x03\xff\xfb\x01\xff\xff"
      "abc\r\0\xff\xfa\x18xx\xff\xf0\r\n"s,
      "\x00\x0f\xff\xfd\x03\xff"s,
      "\x01\"AGWenabled\",1\r\n\"ClusterPort\",9003\r\n\"UserPort\",\"7373\"\r\n"
      "\"AGWport\",\"9002\"\r\n\"MonitorPort\",\"15555\"\r\n\"PreLoad\",5\r\n"
      "\"Locked Out\",\"10.\"\r\n\"ClusterAllow\",\"127.\"\r\n\"Top\",100\r\n"
      "\"LockOuts Width\",3675\r\n"s,
      "\x01\"PreLoad\",abc\n\"Width\",1e99\r\"UserPort\",\"07373\",extra\r\n\"\r\n"s,
      "\x01\"UserPort\"\r\n\"Locked Out\"\r\n,,,\r\n\"unterminated"s,
      "\x01\"Locked Out\",\"192.0.2.0/26\"\r\n\"Locked Out\",\"2001:db8::/32\"\r\n"
      "\"Locked Out\",\"10.0.0.0/33\"\r\n\"ClusterAllow\",\"::1/128\"\r\n"
      "\"MonitorAllow\",\"2001:db8:\"\r\n"s,
      "\x01"
      "2001:db8::/48"s,
      "\x02"
      "17,\"04-Dec-2026 1200Z\"\r\n"s,
      "\x02many\r\n"s,
      "\x02\"\","s,
      "\x03\x05^ZQ66^2^0^127.0.0.2^65535^51234^16777215^G1ABC^65280^0^04-Dec-2026 1158Z\x04"
      "^ZQ60^2^7^65280\x04^ZQ64^\r\n\r\nDX de\r\n\x04^ZQ81^ 1^65280^7373\x04"s,
      "\x03\x00^ZQ70^7^a^b\r\n\x04\x04^ZQ66^99999^6^x\x04^ZQ92^up"s};
}
