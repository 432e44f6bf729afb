#pragma once
// The number of the RunTimeError a call throws, so tables can hold the expected failure.

#include <functional>

#include "platform/RunTimeError.h"

namespace velgate::testing {

inline constexpr int kNoError = 0;
inline constexpr int kOverflow = 6;
inline constexpr int kTypeMismatch = 13;

/// The error number the call throws, kNoError when it returns normally.
inline int ErrorNumberOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const RunTimeError& error) {
    return error.Number();
  }
  return kNoError;
}

}  // namespace velgate::testing
