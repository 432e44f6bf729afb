#pragma once
// Reads standard input line by line on the gateway's own loop and hands each line on. The end
// of input (at once for /dev/null, as a service manager gives it) ends the reading, nothing
// else; so does an input the loop cannot watch: the gateway then runs without a console.

#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/streambuf.hpp>
#include <functional>
#include <string>

namespace velgate {

class StdinLines {
 public:
  /// on_line runs on the loop's thread, once for each line, without its line end.
  StdinLines(asio::io_context& io, std::function<void(const std::string&)> on_line);
  StdinLines(const StdinLines&) = delete;
  StdinLines& operator=(const StdinLines&) = delete;
  /// After this no line is handed on.
  ~StdinLines();

  /// Whether standard input is being read.
  bool Watching() const { return input_.is_open(); }

 private:
  void ReadNext();

  asio::posix::stream_descriptor input_;
  asio::streambuf pending_;
  std::function<void(const std::string&)> on_line_;
};

}  // namespace velgate
