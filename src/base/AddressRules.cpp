#include "base/AddressRules.h"

#include <algorithm>

namespace velgate {

AddressRuleKind KindOfAddressRule(std::string_view record) {
  if (record.find('/') != std::string_view::npos)
    return NetworkPrefix::Parse(record) ? AddressRuleKind::kNetwork : AddressRuleKind::kBad;
  return AddressRuleKind::kTextPrefix;
}

bool AddressRuleMatches(std::string_view record, std::string_view address) {
  if (const auto network = NetworkPrefix::Parse(record)) {
    const auto parsed = IpAddress::Parse(address);
    return parsed && network->Contains(*parsed);
  }
  const bool v6_address = address.find(':') != std::string_view::npos;
  if (v6_address && !record.empty() && record.find(':') == std::string_view::npos) return false;
  return address.substr(0, record.size()) == record;
}

void NetworkIndex::Add(const NetworkPrefix& network, std::int32_t position) {
  positions_.emplace(KeyOf(network.network, network.bits), position);
  std::vector<int>& lengths = lengths_[network.network.IsV6() ? 1 : 0];
  if (std::find(lengths.begin(), lengths.end(), network.bits) == lengths.end()) {
    lengths.push_back(network.bits);
    std::sort(lengths.rbegin(), lengths.rend());
  }
}

void NetworkIndex::Clear() {
  positions_.clear();
  lengths_[0].clear();
  lengths_[1].clear();
}

std::int32_t NetworkIndex::FirstHolding(const IpAddress& address) const {
  std::int32_t first = 0;
  for (const int bits : lengths_[address.IsV6() ? 1 : 0]) {
    const auto found = positions_.find(KeyOf(address.Masked(bits), bits));
    if (found != positions_.end() && (first == 0 || found->second < first)) first = found->second;
  }
  return first;
}

NetworkIndex::Key NetworkIndex::KeyOf(const IpAddress& network, int bits) {
  return Key{network.Bytes(), static_cast<std::uint8_t>(bits), network.IsV6()};
}

std::size_t NetworkIndex::KeyHash::operator()(const Key& key) const {
  std::uint64_t hash = 0xcbf29ce484222325ULL;  // FNV-1a
  for (const std::uint8_t byte : key.bytes) hash = (hash ^ byte) * 0x100000001b3ULL;
  hash = (hash ^ key.bits) * 0x100000001b3ULL;
  return static_cast<std::size_t>(hash ^ (key.v6 ? 1 : 0));
}

}  // namespace velgate
