#pragma once
// Display colours as the gateway records them: &H00BBGGRR values (red in the low byte);
// system colours are negative.

#include <cstdint>

namespace velgate {

using Colour = std::int32_t;

namespace colours {
inline constexpr Colour kWhite = 0x00FFFFFF;
inline constexpr Colour kYellow = 0x0000FFFF;
inline constexpr Colour kGreen = 0x0000FF00;
inline constexpr Colour kCyan = 0x00FFFF00;
inline constexpr Colour kRed = 0x000000FF;
inline constexpr Colour kLightPink = 0x00D7DBFF;
inline constexpr Colour kLightBlue = 0x00FFAFAF;
inline constexpr Colour kLightMagenta = 0x00FFAFFF;
inline constexpr Colour kMagenta = 0x00FF00FF;
/// The system's button-face colour, &H8000000F.
inline constexpr Colour kButtonFace = static_cast<Colour>(0x8000000Fu);
}  // namespace colours

/// The colour of listener index i: its indicator box, and the address field of its users.
Colour ListenerColour(int listener_index);

}  // namespace velgate
