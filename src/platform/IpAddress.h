#pragma once
// A caller's address, IPv4 or IPv6, as the gateway shows, counts and matches it. An IPv4 caller
// that reaches a dual-stack port arrives as an IPv4-mapped IPv6 address (::ffff:a.b.c.d); it is
// taken as the IPv4 address it carries, everywhere.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velgate {

class IpAddress {
 public:
  /// 0.0.0.0.
  IpAddress() = default;
  static IpAddress V4(std::uint32_t number);
  /// From the 16 bytes of an IPv6 address (an IPv4-mapped one becomes IPv4).
  static IpAddress V6(const std::array<std::uint8_t, 16>& bytes);
  /// Dotted IPv4 or IPv6 text; nothing for anything else.
  static std::optional<IpAddress> Parse(std::string_view text);

  bool IsV6() const { return v6_; }
  /// The IPv4 address as a number (0 for IPv6).
  std::uint32_t V4Number() const;
  const std::array<std::uint8_t, 16>& Bytes() const { return bytes_; }
  /// Dotted IPv4, or IPv6 in its RFC 5952 form (lower case, the longest run of zero groups
  /// compressed).
  std::string Text() const;
  /// What the per-address counts and the rate guard count by: the address for IPv4, the /64
  /// network for IPv6 (a household or a customer gets a /64 and may use any address in it).
  std::uint64_t CountKey() const;
  /// The text of a count key: the IPv4 address, or the IPv6 network as "2001:db8:1:2::/64".
  static std::string CountKeyText(std::uint64_t key);
  /// A count key no address has (in multicast space, like the IPv4 keys).
  static constexpr std::uint64_t kNoCountKey = 0xFFFFFFFE00000000ULL;
  /// The address with every bit after the first `bits` cleared.
  IpAddress Masked(int bits) const;
  /// 32 for IPv4, 128 for IPv6.
  int Bits() const { return v6_ ? 128 : 32; }

  friend bool operator==(const IpAddress&, const IpAddress&) = default;

 private:
  // IPv4 in the first four bytes, the rest zero.
  std::array<std::uint8_t, 16> bytes_{};
  bool v6_ = false;
};

/// A network in CIDR form, "192.0.2.0/24" or "2001:db8::/32": an address and a prefix length.
struct NetworkPrefix {
  IpAddress network;  // host bits cleared
  int bits = 0;

  /// The network of text in CIDR form; nothing when it is not one (a bad address, a length out
  /// of range, blanks).
  static std::optional<NetworkPrefix> Parse(std::string_view text);
  bool Contains(const IpAddress& address) const;
  /// The canonical text: "192.0.2.0/24".
  std::string Text() const;
};

}  // namespace velgate
