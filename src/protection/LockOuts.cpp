#include "protection/LockOuts.h"

namespace velgate {

std::int32_t FirstMatchingLockOut(const Settings& settings, std::string_view address) {
  for (std::int32_t i = 1; i <= settings.LockOutCount; ++i) {
    const std::string& entry = settings.LockOuts[static_cast<std::size_t>(i)];
    if (address.substr(0, entry.size()) == entry) return i;
  }
  return 0;
}

}  // namespace velgate
