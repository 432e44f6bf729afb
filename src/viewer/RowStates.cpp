#include "viewer/RowStates.h"

namespace velgate::viewer {

RowState StateOf(const monitor_messages::RowMessage& row) {
  using namespace colours;
  if (row.address.empty() && row.call.empty() && row.port.empty()) return RowState::kFree;
  if (row.address_colour == kWhite && row.call_colour == kWhite) return RowState::kEnded;
  if (row.call_colour == kRed) return RowState::kNuisance;
  if (row.port_colour == kLightPink) return RowState::kLockedOut;
  if (row.call_colour == kLightPink) return RowState::kWaiting;
  if (row.call_colour == kYellow)
    return row.address_colour == kYellow ? RowState::kCallingOut : RowState::kLoggingIn;
  if (row.call_colour == kGreen) {
    if (!row.tip.empty()) return RowState::kLoggedIn;
    if (row.port_colour == kYellow) return RowState::kLoginSent;
    // Confirmed with code 6, which brings no login time; or an outgoing connection made.
    return row.address_colour == kCyan && row.port_colour != kGreen ? RowState::kCalledOut
                                                                    : RowState::kLoggedIn;
  }
  return RowState::kConnected;
}

std::string_view StateWords(RowState state) {
  switch (state) {
    case RowState::kFree:
      return "free";
    case RowState::kConnected:
      return "connected";
    case RowState::kLoggingIn:
      return "logging in";
    case RowState::kLoginSent:
      return "login sent";
    case RowState::kWaiting:
      return "waiting";
    case RowState::kLoggedIn:
      return "logged in";
    case RowState::kCallingOut:
      return "calling out";
    case RowState::kCalledOut:
      return "called out";
    case RowState::kLockedOut:
      return "locked out";
    case RowState::kNuisance:
      return "nuisance";
    case RowState::kEnded:
      return "ended";
  }
  return "?";
}

TerminalColour NearestTerminalColour(Colour colour) {
  using namespace colours;
  switch (colour) {
    case kRed:
    case kLightPink:
      return TerminalColour::kRed;
    case kGreen:
      return TerminalColour::kGreen;
    case kYellow:
      return TerminalColour::kYellow;
    case kLightBlue:
      return TerminalColour::kBlue;
    case kLightMagenta:
    case kMagenta:
      return TerminalColour::kMagenta;
    case kCyan:
      return TerminalColour::kCyan;
    default:
      break;
  }
  if (colour < 0) return TerminalColour::kPlain;  // a system colour
  // Any other colour: its strongest channels, red in the low byte.
  const int red = colour & 0xFF, green = (colour >> 8) & 0xFF, blue = (colour >> 16) & 0xFF;
  const bool r = red >= 0x80, g = green >= 0x80, b = blue >= 0x80;
  if (r && g && b) return TerminalColour::kPlain;
  if (r && g) return TerminalColour::kYellow;
  if (r && b) return TerminalColour::kMagenta;
  if (g && b) return TerminalColour::kCyan;
  if (r) return TerminalColour::kRed;
  if (g) return TerminalColour::kGreen;
  if (b) return TerminalColour::kBlue;
  return TerminalColour::kPlain;
}

}  // namespace velgate::viewer
