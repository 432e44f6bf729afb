#include "protection/LockOuts.h"

namespace velgate {
namespace {

bool Begins(std::string_view address, const std::string& entry) {
  return address.substr(0, entry.size()) == entry;
}

}  // namespace

std::int32_t FirstMatchingLockOut(const Settings& settings, std::string_view address) {
  for (std::int32_t i = 1; i <= settings.LockOutCount; ++i) {
    const std::string& entry = settings.LockOuts[static_cast<std::size_t>(i)];
    if (Begins(address, entry)) return i;
  }
  return 0;
}

bool Allowed(const std::vector<std::string>& allow, std::string_view address) {
  if (allow.empty()) return true;
  for (const std::string& entry : allow)
    if (Begins(address, entry)) return true;
  return false;
}

}  // namespace velgate
