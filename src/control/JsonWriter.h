#pragma once
// A JSON text built front to back: objects, arrays, strings, numbers. Text is bytes, one byte a
// character: a byte outside printable ASCII is written as \u00XX, so any call sign a caller
// typed stays valid JSON.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velgate {

class JsonWriter {
 public:
  JsonWriter& BeginObject() { return Open('{'); }
  JsonWriter& EndObject() { return Close('}'); }
  JsonWriter& BeginArray() { return Open('['); }
  JsonWriter& EndArray() { return Close(']'); }
  /// The key of the next value in an object.
  JsonWriter& Key(std::string_view key);
  JsonWriter& String(std::string_view text);
  JsonWriter& Number(std::int64_t value);
  JsonWriter& Unsigned(std::uint64_t value);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();
  /// The text so far.
  std::string Take() { return std::move(text_); }

 private:
  JsonWriter& Open(char bracket);
  JsonWriter& Close(char bracket);
  void BeforeValue();
  void Escaped(std::string_view text);

  std::string text_;
  std::vector<bool> has_item_;  // per open bracket: whether a comma goes before the next item
  bool after_key_ = false;
};

}  // namespace velgate
