// The lower folder reaching up to the higher one: scripts/check-layers must report this.
#pragma once

#include "high/High.h"

inline int Low() {
  return High() - 1;
}
