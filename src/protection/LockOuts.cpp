#include "protection/LockOuts.h"

namespace velgate {
namespace {

bool Begins(std::string_view address, const std::string& entry) {
  return address.substr(0, entry.size()) == entry;
}

}  // namespace

std::int32_t FirstMatchingLockOut(const Settings& settings, std::string_view address) {
  // An entry locks the address out when it is one of the address's beginnings: each beginning
  // is looked up, and the earliest entry among them wins, as a walk down the list would find.
  std::int32_t first = 0;
  for (std::size_t length = 0; length <= address.size(); ++length) {
    const std::int32_t position = settings.LockOutPosition(address.substr(0, length));
    if (position != 0 && (first == 0 || position < first)) first = position;
  }
  return first;
}

bool Allowed(const std::vector<std::string>& allow, std::string_view address) {
  if (allow.empty()) return true;
  for (const std::string& entry : allow)
    if (Begins(address, entry)) return true;
  return false;
}

}  // namespace velgate
