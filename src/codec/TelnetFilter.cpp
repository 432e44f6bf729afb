#include "codec/TelnetFilter.h"

namespace velgate {
namespace {

constexpr char kIac = '\xFF';
constexpr char kSe = '\xF0';
constexpr char kSb = '\xFA';
constexpr char kWill = '\xFB';
constexpr char kDont = '\xFE';  // WILL, WONT, DO, DONT are FB..FE
constexpr char kCr = '\r';
constexpr char kNul = '\0';

}  // namespace

void FilterTelnet(TelnetFilterState& state, std::string_view block, std::string& out) {
  using Phase = TelnetFilterState::Phase;
  if (state.phase > Phase::kSubnegotiationCommand) state.phase = Phase::kText;
  std::size_t i = 0;
  while (i < block.size()) {
    if (state.phase == Phase::kText) {
      // Pass a run of text on in one append; it ends at IAC or at a NUL after CR.
      const std::size_t start = i;
      while (i < block.size() && block[i] != kIac && !(block[i] == kNul && state.after_cr)) {
        state.after_cr = block[i] == kCr;
        ++i;
      }
      out.append(block.substr(start, i - start));
      if (i == block.size()) break;
      if (block[i] == kIac) {
        state.phase = Phase::kCommand;
      } else {
        state.after_cr = false;  // the NUL is dropped; a second NUL is text again
      }
      ++i;
      continue;
    }
    if (state.phase == Phase::kSubnegotiation) {
      // Everything up to the next IAC is dropped.
      const std::size_t iac = block.find(kIac, i);
      if (iac == std::string_view::npos) break;
      state.phase = Phase::kSubnegotiationCommand;
      i = iac + 1;
      continue;
    }
    const char byte = block[i++];
    switch (state.phase) {
      case Phase::kCommand:
        if (byte == kIac) {
          out += kIac;
          state.after_cr = false;
          state.phase = Phase::kText;
        } else if (byte >= kWill && byte <= kDont) {
          state.phase = Phase::kOption;
        } else if (byte == kSb) {
          state.phase = Phase::kSubnegotiation;
        } else {
          state.phase = Phase::kText;  // a command of one byte: EOF, NOP, AYT, GA, ...
        }
        break;
      case Phase::kOption:
        state.phase = Phase::kText;
        break;
      case Phase::kSubnegotiationCommand:
        // Only IAC SE ends it; IAC IAC (an escaped 0xFF) and anything else stay inside.
        state.phase = byte == kSe ? Phase::kText : Phase::kSubnegotiation;
        break;
      default:  // kText and kSubnegotiation are handled above
        break;
    }
  }
}

}  // namespace velgate
