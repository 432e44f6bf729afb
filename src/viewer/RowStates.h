#pragma once
// What a stream's row means, read from its colours as the gateway paints them, and the colours
// a terminal has for them. The monitor messages carry no state of their own: the colours are it.
//
//   connected     address yellow, call white       a caller taken in, no call sign yet
//   logging in    call yellow                      typing the login line
//   login sent    call green, port yellow, no tip  waiting for the cluster's confirmation
//   waiting       call pink                        the cluster asked for the login again
//   logged in     call green and a login time
//   calling out   address and call yellow          an outgoing connection being made
//   called out    address cyan, call green         an outgoing connection made
//   locked out    port pink                        refused: the address is locked out
//   nuisance      call red                         refused: a nuisance caller
//   ended         address and call white           gone; the row fades out

#include <string_view>

#include "codec/MonitorMessageReader.h"
#include "model/Colours.h"

namespace velgate::viewer {

enum class RowState {
  kFree,  ///< no occupant: empty address and call
  kConnected,
  kLoggingIn,
  kLoginSent,
  kWaiting,
  kLoggedIn,
  kCallingOut,
  kCalledOut,
  kLockedOut,
  kNuisance,
  kEnded,
};

/// The state a row's colours and texts tell.
RowState StateOf(const monitor_messages::RowMessage& row);
/// The state in words, as the screen and the line mode show it.
std::string_view StateWords(RowState state);
/// Whether a stream in this state has an occupant that may still act.
inline bool IsOccupied(RowState state) {
  return state != RowState::kFree && state != RowState::kEnded;
}

/// The eight colours of a terminal; kPlain is the terminal's own.
enum class TerminalColour { kPlain, kRed, kGreen, kYellow, kBlue, kMagenta, kCyan };
/// The terminal colour nearest a display colour: white and system colours are plain.
TerminalColour NearestTerminalColour(Colour colour);

}  // namespace velgate::viewer
