#pragma once

inline int High() {
  return 2;
}
