#include "console/StdinLines.h"

#include <unistd.h>

#include <asio/read_until.hpp>
#include <istream>

namespace velgate {
namespace {

// No operator line is that long; a longer one is dropped rather than held.
constexpr std::size_t kMostLine = 64 * 1024;

}  // namespace

StdinLines::StdinLines(asio::io_context& io, std::function<void(const std::string&)> on_line)
    : input_(io), pending_(kMostLine), on_line_(std::move(on_line)) {
  const int descriptor = ::dup(STDIN_FILENO);
  if (descriptor < 0) return;
  std::error_code error;
  input_.assign(descriptor, error);
  if (error) {
    // Not a descriptor the loop can read from.
    ::close(descriptor);
    return;
  }
  ReadNext();
}

StdinLines::~StdinLines() {
  std::error_code ignored;
  input_.close(ignored);
}

void StdinLines::ReadNext() {
  asio::async_read_until(input_, pending_, '\n', [this](const std::error_code& error, std::size_t) {
    if (error == asio::error::operation_aborted) return;
    if (error == asio::error::not_found) {
      pending_.consume(pending_.size());  // a line past the limit
      ReadNext();
      return;
    }
    if (error) {
      // End of input, or input that cannot be read any more: no console from now on.
      std::error_code ignored;
      input_.close(ignored);
      return;
    }
    std::istream stream(&pending_);
    std::string line;
    std::getline(stream, line);
    on_line_(line);
    ReadNext();
  });
}

}  // namespace velgate
