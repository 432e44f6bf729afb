#include "platform/NumberText.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "platform/RunTimeError.h"

namespace velgate {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Length of the number at the start of text (after blanks were skipped): sign, digits, fraction.
// digits_seen tells whether any digit was part of it.
std::size_t NumberLength(std::string_view text, bool& digits_seen) {
  std::size_t i = 0;
  digits_seen = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  while (i < text.size() && IsDigit(text[i])) {
    ++i;
    digits_seen = true;
  }
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) {
      ++i;
      digits_seen = true;
    }
  }
  return i;
}

double ParseDecimal(std::string_view number) {
  // from_chars takes no leading '+'; the sign is applied here.
  bool negative = false;
  if (!number.empty() && (number[0] == '+' || number[0] == '-')) {
    negative = number[0] == '-';
    number.remove_prefix(1);
  }
  double value = 0;
  if (!number.empty() && number != ".") {
    std::from_chars(number.data(), number.data() + number.size(), value, std::chars_format::fixed);
  }
  return negative ? -value : value;
}

}  // namespace

double Val(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size() && IsBlank(text[start])) ++start;
  text.remove_prefix(start);
  bool digits_seen = false;
  std::size_t length = NumberLength(text, digits_seen);
  if (!digits_seen) return 0;
  return ParseDecimal(text.substr(0, length));
}

double RoundHalfEven(double value) {
  return std::nearbyint(value);
}

std::int16_t ToInteger16(double value) {
  double rounded = RoundHalfEven(value);
  if (!(rounded >= -32768.0 && rounded <= 32767.0)) throw RunTimeError::Overflow();
  return static_cast<std::int16_t>(rounded);
}

std::int32_t ToInteger32(double value) {
  double rounded = RoundHalfEven(value);
  if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) throw RunTimeError::Overflow();
  return static_cast<std::int32_t>(rounded);
}

float ToSingle(double value) {
  if (std::isnan(value) || std::fabs(value) > std::numeric_limits<float>::max()) {
    throw RunTimeError::Overflow();
  }
  return static_cast<float>(value);
}

std::optional<double> ParseNumber(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size() && IsBlank(text[start])) ++start;
  std::size_t end = text.size();
  while (end > start && IsBlank(text[end - 1])) --end;
  std::string_view body = text.substr(start, end - start);
  bool digits_seen = false;
  std::size_t length = NumberLength(body, digits_seen);
  if (!digits_seen || length != body.size()) return std::nullopt;
  return ParseDecimal(body);
}

std::int16_t TextToInteger16(std::string_view text) {
  auto number = ParseNumber(text);
  if (!number) throw RunTimeError::TypeMismatch();
  return ToInteger16(*number);
}

std::int32_t TextToInteger32(std::string_view text) {
  auto number = ParseNumber(text);
  if (!number) throw RunTimeError::TypeMismatch();
  return ToInteger32(*number);
}

std::optional<std::int32_t> ParseStrictInteger(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::size_t first_digit = text[0] == '-' ? 1 : 0;
  if (first_digit == text.size()) return std::nullopt;
  for (std::size_t i = first_digit; i < text.size(); ++i) {
    if (!IsDigit(text[i])) return std::nullopt;
  }
  std::int32_t value = 0;
  auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string PlainNumber(std::int64_t value) {
  return std::to_string(value);
}

std::string SignedBlankNumber(std::int64_t value) {
  return value >= 0 ? " " + std::to_string(value) : std::to_string(value);
}

std::string SingleText(float value) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  std::string text(buffer, result.ptr);
  if (text == "-0") text = "0";
  return text;
}

}  // namespace velgate
