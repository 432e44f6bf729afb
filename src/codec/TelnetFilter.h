#pragma once
// Telnet clients do not send plain text: at connect they negotiate options (IAC WILL/DO ...),
// some send IAC EOF for ^D or IAC SB ... IAC SE subnegotiations, and in character mode they end
// a line with CR NUL. The gateway passes a user's text on to the cluster as lines, so these bytes
// are removed first; every other byte passes unchanged.
//
// The filter works block by block on one stream: a command cut between two blocks is completed
// from the next, and a NUL is dropped after a CR that ended the previous block. It keeps only
// TelnetFilterState (two bytes) per stream and never holds a subnegotiation's content: it drops
// it as it arrives, however long it is.

#include <cstdint>
#include <string>
#include <string_view>

namespace velgate {

/// What the filter remembers between two blocks of one stream; a few bytes.
struct TelnetFilterState {
  /// The values of phase: where in a telnet command the last block ended.
  enum Phase : std::uint8_t {
    kText = 0,                   ///< not in a command
    kCommand = 1,                ///< after IAC
    kOption = 2,                 ///< after IAC WILL/WONT/DO/DONT, before the option byte
    kSubnegotiation = 3,         ///< after IAC SB, before IAC SE
    kSubnegotiationCommand = 4,  ///< after IAC inside a subnegotiation
  };

  std::uint8_t phase = kText;  ///< one of Phase
  bool after_cr = false;       ///< the last byte passed on was CR
};

/// Appends block to out without telnet commands and without the NUL after a CR.
void FilterTelnet(TelnetFilterState& state, std::string_view block, std::string& out);

}  // namespace velgate
