#include "base/Settings.h"

namespace velgate {

const std::string& Settings::UserPort(int i) const {
  static const std::string kEmpty;
  if (i < 1 || static_cast<std::size_t>(i) >= UserPorts.size()) return kEmpty;
  return UserPorts[static_cast<std::size_t>(i)];
}

void Settings::SetUserPort(int i, std::string text) {
  if (i < 1) return;
  if (static_cast<std::size_t>(i) >= UserPorts.size())
    UserPorts.resize(static_cast<std::size_t>(i) + 1);
  UserPorts[static_cast<std::size_t>(i)] = std::move(text);
}

void Settings::AddLockOut(std::string text) {
  ++LockOutCount;
  if (static_cast<std::size_t>(LockOutCount) >= LockOuts.size()) {
    LockOuts.resize(static_cast<std::size_t>(LockOutCount) + 1);
  }
  LockOuts[static_cast<std::size_t>(LockOutCount)] = std::move(text);
}

bool Settings::HasEmptyLockOut() const {
  for (std::int32_t i = 1; i <= LockOutCount; ++i)
    if (LockOuts[static_cast<std::size_t>(i)].empty()) return true;
  return false;
}

}  // namespace velgate
