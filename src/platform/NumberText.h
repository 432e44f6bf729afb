#pragma once
// Numbers read from and written as text, the way settings, tags and link fields hold them.
// Reading: "Val" takes the leading number (blanks, a sign, digits, an optional fraction; no hex,
// no exponent) and gives 0 when there is none. Conversions to whole numbers round halves to
// even and fail with Overflow outside their range; strict conversions fail with Type mismatch
// when the text is not a number at all.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velgate {

/// The leading decimal number of text, 0 when it starts with none.
double Val(std::string_view text);

/// Rounds to the nearest whole number, halves to even.
double RoundHalfEven(double value);

/// A value rounded to a 16-bit signed integer; Overflow outside -32768..32767.
std::int16_t ToInteger16(double value);
/// A value rounded to a 32-bit signed integer; Overflow outside its range.
std::int32_t ToInteger32(double value);
/// A value held as single precision; Overflow beyond its range.
float ToSingle(double value);

/// Text that must be a number as a whole (blanks around it allowed): the number, or nothing.
std::optional<double> ParseNumber(std::string_view text);
/// Text converted to a 16-bit integer; Type mismatch when it is not a number, else as ToInteger16.
std::int16_t TextToInteger16(std::string_view text);
/// Text converted to a 32-bit integer; Type mismatch when it is not a number, else as ToInteger32.
std::int32_t TextToInteger32(std::string_view text);

/// A strict decimal integer (digits, optional leading minus, nothing else) in 32-bit range.
std::optional<std::int32_t> ParseStrictInteger(std::string_view text);

/// Plain decimal, a minus sign for negative values.
std::string PlainNumber(std::int64_t value);
/// Decimal with one leading blank for values of 0 and more (" 12", "-3").
std::string SignedBlankNumber(std::int64_t value);
/// A single-precision value written without exponent, with a point only when it has a fraction.
std::string SingleText(float value);

}  // namespace velgate
