#include "protection/LockOuts.h"

namespace velgate {

std::int32_t FirstMatchingLockOut(const Settings& settings, std::string_view address) {
  // An entry locks the address out when it is one of the address's beginnings: each beginning
  // is looked up, and the earliest entry among them wins, as a walk down the list would find.
  // An IPv6 address is taken by the empty entry and by beginnings that reach its first colon.
  std::int32_t first = 0;
  const auto consider = [&first](std::int32_t position) {
    if (position != 0 && (first == 0 || position < first)) first = position;
  };
  const std::size_t colon = address.find(':');
  if (colon != std::string_view::npos) consider(settings.LockOutPosition(""));
  for (std::size_t length = colon == std::string_view::npos ? 0 : colon + 1;
       length <= address.size(); ++length)
    consider(settings.LockOutPosition(address.substr(0, length)));
  if (settings.LockOutNetworks.Empty()) return first;
  if (const auto parsed = IpAddress::Parse(address))
    consider(settings.LockOutNetworks.FirstHolding(*parsed));
  return first;
}

bool Allowed(const std::vector<std::string>& allow, std::string_view address) {
  if (allow.empty()) return true;
  for (const std::string& entry : allow)
    if (AddressRuleMatches(entry, address)) return true;
  return false;
}

}  // namespace velgate
