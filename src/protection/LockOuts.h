#pragma once
// The lock-out test: an address is locked out when an entry of the list begins it, character
// by character ("192.0.2." refuses 192.0.2.7 but not 192.0.20.1; an empty entry refuses all),
// or is a network in CIDR form that holds it (see base/AddressRules.h).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/Settings.h"

namespace velgate {

/// The first entry (1-based, in list order) that begins address, or 0 when none does.
std::int32_t FirstMatchingLockOut(const Settings& settings, std::string_view address);

/// Whether a trusted port takes a caller from address: any address when the list is empty,
/// else one that an entry begins, matched like the lock-outs.
bool Allowed(const std::vector<std::string>& allow, std::string_view address);

}  // namespace velgate
