#include "platform/IpAddress.h"

#include <arpa/inet.h>

#include <charconv>
#include <cstring>

namespace velgate {
namespace {

// Keys of IPv4 addresses sit in ffff:ffff::/32, which is multicast and never a caller's /64.
constexpr std::uint64_t kV4KeyTag = 0xFFFFFFFF00000000ULL;

bool IsV4Mapped(const std::array<std::uint8_t, 16>& bytes) {
  for (int i = 0; i < 10; ++i)
    if (bytes[static_cast<std::size_t>(i)] != 0) return false;
  return bytes[10] == 0xFF && bytes[11] == 0xFF;
}

}  // namespace

IpAddress IpAddress::V4(std::uint32_t number) {
  IpAddress address;
  for (int i = 0; i < 4; ++i)
    address.bytes_[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(number >> (24 - 8 * i));
  return address;
}

IpAddress IpAddress::V6(const std::array<std::uint8_t, 16>& bytes) {
  if (IsV4Mapped(bytes)) {
    return V4(std::uint32_t{bytes[12]} << 24 | std::uint32_t{bytes[13]} << 16 |
              std::uint32_t{bytes[14]} << 8 | bytes[15]);
  }
  IpAddress address;
  address.bytes_ = bytes;
  address.v6_ = true;
  return address;
}

std::optional<IpAddress> IpAddress::Parse(std::string_view text) {
  // inet_pton wants a terminated string; no address text is longer than this.
  char terminated[INET6_ADDRSTRLEN + 1] = {};
  if (text.empty() || text.size() >= sizeof terminated) return std::nullopt;
  std::memcpy(terminated, text.data(), text.size());
  std::array<std::uint8_t, 16> bytes{};
  if (text.find(':') == std::string_view::npos) {
    if (::inet_pton(AF_INET, terminated, bytes.data()) != 1) return std::nullopt;
    IpAddress address;
    address.bytes_ = bytes;
    return address;
  }
  if (::inet_pton(AF_INET6, terminated, bytes.data()) != 1) return std::nullopt;
  return V6(bytes);
}

std::uint32_t IpAddress::V4Number() const {
  if (v6_) return 0;
  return std::uint32_t{bytes_[0]} << 24 | std::uint32_t{bytes_[1]} << 16 |
         std::uint32_t{bytes_[2]} << 8 | bytes_[3];
}

std::string IpAddress::Text() const {
  char text[INET6_ADDRSTRLEN] = {};
  // glibc writes IPv6 in the RFC 5952 form: lower case, the longest zero run compressed.
  ::inet_ntop(v6_ ? AF_INET6 : AF_INET, bytes_.data(), text, sizeof text);
  return text;
}

std::uint64_t IpAddress::CountKey() const {
  if (!v6_) return kV4KeyTag | V4Number();
  std::uint64_t key = 0;
  for (int i = 0; i < 8; ++i) key = key << 8 | bytes_[static_cast<std::size_t>(i)];
  return key;
}

std::string IpAddress::CountKeyText(std::uint64_t key) {
  if ((key & kV4KeyTag) == kV4KeyTag) return V4(static_cast<std::uint32_t>(key)).Text();
  std::array<std::uint8_t, 16> bytes{};
  for (int i = 0; i < 8; ++i)
    bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(key >> (56 - 8 * i));
  return V6(bytes).Text() + "/64";
}

IpAddress IpAddress::Masked(int bits) const {
  IpAddress masked = *this;
  for (int i = 0; i < 16; ++i) {
    const int keep = bits - 8 * i;  // bits of this byte to keep
    auto& byte = masked.bytes_[static_cast<std::size_t>(i)];
    if (keep <= 0) {
      byte = 0;
    } else if (keep < 8) {
      byte = static_cast<std::uint8_t>(byte & (0xFF << (8 - keep)));
    }
  }
  return masked;
}

std::optional<NetworkPrefix> NetworkPrefix::Parse(std::string_view text) {
  const std::size_t slash = text.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const std::optional<IpAddress> address = IpAddress::Parse(text.substr(0, slash));
  if (!address) return std::nullopt;
  // An IPv4-mapped network ("::ffff:192.0.2.0/120") is not taken: write it as IPv4.
  if (!address->IsV6() && text.substr(0, slash).find(':') != std::string_view::npos)
    return std::nullopt;
  const std::string_view length = text.substr(slash + 1);
  int bits = -1;
  const auto [end, error] = std::from_chars(length.data(), length.data() + length.size(), bits);
  if (error != std::errc{} || end != length.data() + length.size() || length.empty() ||
      length.size() > 3 || bits < 0 || bits > address->Bits())
    return std::nullopt;
  return NetworkPrefix{address->Masked(bits), bits};
}

bool NetworkPrefix::Contains(const IpAddress& address) const {
  return address.IsV6() == network.IsV6() && address.Masked(bits) == network;
}

std::string NetworkPrefix::Text() const {
  return network.Text() + "/" + std::to_string(bits);
}

}  // namespace velgate
