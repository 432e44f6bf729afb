#pragma once
// The records of the address lists ("Locked Out", "ClusterAllow", "MonitorAllow"): a text
// prefix, matched character by character against the address as the gateway shows it
// ("192.0.2." takes 192.0.2.7, not 192.0.20.1), or a network in CIDR form ("192.0.2.0/26",
// "2001:db8::/32"). A text prefix without a colon is an IPv4 prefix and never takes an IPv6
// address (only the empty prefix takes every address); one with a colon is matched against
// the IPv6 text in its RFC 5952 form.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/IpAddress.h"

namespace velgate {

enum class AddressRuleKind { kTextPrefix, kNetwork, kBad };

/// What a record is: a network when it holds a "/" and is valid CIDR, bad when it holds a "/"
/// and is not, else a text prefix (any text, as every record was before networks: one that no
/// address begins with simply takes nobody).
AddressRuleKind KindOfAddressRule(std::string_view record);

/// Whether a record takes the address whose text (as RemoteHostIP gives it) is `address`.
bool AddressRuleMatches(std::string_view record, std::string_view address);

/// Networks of a list by position, looked up in time that grows with the number of different
/// prefix lengths, not with the list.
class NetworkIndex {
 public:
  /// Keeps the first position of each network.
  void Add(const NetworkPrefix& network, std::int32_t position);
  void Clear();
  bool Empty() const { return positions_.empty(); }
  /// The earliest position of a network that holds address, or 0.
  std::int32_t FirstHolding(const IpAddress& address) const;

 private:
  struct Key {
    std::array<std::uint8_t, 16> bytes{};
    std::uint8_t bits = 0;
    bool v6 = false;
    friend bool operator==(const Key&, const Key&) = default;
  };
  struct KeyHash {
    std::size_t operator()(const Key& key) const;
  };
  static Key KeyOf(const IpAddress& network, int bits);

  std::unordered_map<Key, std::int32_t, KeyHash> positions_;
  std::vector<int> lengths_[2];  // the prefix lengths in use, IPv4 and IPv6, longest first
};

}  // namespace velgate
