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
  LockOutIndex.emplace(text, LockOutCount);  // an earlier equal entry keeps its place
  if (const auto network = NetworkPrefix::Parse(text)) LockOutNetworks.Add(*network, LockOutCount);
  LockOuts[static_cast<std::size_t>(LockOutCount)] = std::move(text);
}

void Settings::ClearLockOuts() {
  LockOutCount = 0;
  LockOutIndex.clear();
  LockOutNetworks.Clear();
}

std::int32_t Settings::LockOutPosition(std::string_view text) const {
  const auto found = LockOutIndex.find(text);
  return found == LockOutIndex.end() ? 0 : found->second;
}

bool Settings::HasEmptyLockOut() const {
  return LockOutPosition("") != 0;
}

}  // namespace velgate
