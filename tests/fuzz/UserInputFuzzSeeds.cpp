// Seed inputs for the user input target: the state (which is also the block size), then what
// the user types: login lines, lines, backspaces, telnet negotiation, nuisance requests.

#include <string>
#include <vector>

std::vector<std::string> FuzzSeeds() {
  using namespace std::string_literals;
  return {"\x00\x00G1ABC\r\n"s,
          "\x00\x01sh/dx\r\n"s,
          "\x00\x02sh/dx\r\nmore\n\rtext\r"s,
          "\x00\x03anything at all"s,
          "\x00\x04raw bytes\x03\x04"s,
          "\x00\x05GET / HTTP/1.0\r\n"s,
          "\x00\x0a\b\bAB\bC\r\nrest"s,
          "\x00\x07\xff\xfb\x01\xff\xfd\x03hello\r\0\r\n"s,
          "\x00\x0c\xff\xfa\x18\x00xterm\xff\xf0ok\r\n"s,
          "\x00\x0eTEAMLUC\r\n"s,
          "\x00\x02line one\rline two\nline three\r\n"s};
}
