#include "model/Colours.h"

namespace velgate {

Colour ListenerColour(int listener_index) {
  switch (listener_index) {
    case 1:
      return colours::kGreen;
    case 2:
      return colours::kLightBlue;
    case 3:
      return colours::kLightMagenta;
    case 4:
      return colours::kMagenta;
    default:
      return colours::kCyan;
  }
}

}  // namespace velgate
