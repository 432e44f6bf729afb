#pragma once
// The number of the RunTimeError a call throws (kNoError when it returns), for tables.

#include <functional>

#include "platform/RunTimeError.h"

namespace velgate::testing {

inline constexpr int kNoError = 0, kOverflow = 6, kTypeMismatch = 13;

inline int ErrorNumberOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const RunTimeError& error) {
    return error.Number();
  }
  return kNoError;
}

}  // namespace velgate::testing
