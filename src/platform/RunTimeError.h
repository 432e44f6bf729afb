#pragma once
// A run-time failure inside a handler: a number and a description, as the error log and the
// operator alerts show them. Handlers catch it at their own trap; it never crosses the loop.

#include <stdexcept>
#include <string>
#include <system_error>

namespace velgate {

class RunTimeError : public std::runtime_error {
 public:
  RunTimeError(int number, const std::string& description)
      : std::runtime_error(description), number_(number) {}

  /// The error number shown to the operator ("Error number 13").
  int Number() const { return number_; }
  /// The description written after the where-text in error.log.
  std::string Description() const { return what(); }

  static RunTimeError Overflow() { return RunTimeError(6, "Overflow"); }
  static RunTimeError TypeMismatch() { return RunTimeError(13, "Type mismatch"); }
  static RunTimeError SubscriptOutOfRange() { return RunTimeError(9, "Subscript out of range"); }
  static RunTimeError InvalidPropertyValue() { return RunTimeError(380, "Invalid property value"); }
  static RunTimeError WrongConnectionState() {
    return RunTimeError(40006,
                        "Wrong protocol or connection state for the requested transaction or "
                        "request");
  }
  /// A socket's queue of unsent bytes passed its cap: the peer has stopped reading.
  static constexpr int kConnectionRefused = 10061;
  static constexpr int kSendCapReached = 10055;
  static RunTimeError SendCapReached() {
    return RunTimeError(kSendCapReached, "No buffer space is available");
  }
  /// A file that cannot be opened, read or written.
  static RunTimeError FileAccess(const std::string& detail) {
    return RunTimeError(75, "Path/File access error: " + detail);
  }
  /// A socket failure, numbered like the socket errors operators know (10048 "Address in use").
  static RunTimeError FromSocket(const std::error_code& error);

 private:
  int number_;
};

}  // namespace velgate
