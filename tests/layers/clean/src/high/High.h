// The higher folder including the lower one, as it may.
#pragma once

#include "low/Low.h"

inline int High() {
  return Low() + 1;
}
