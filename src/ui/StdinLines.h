#pragma once
// Reads standard input line by line on a thread of its own and hands each line to the loop.
// The end of input ends the reading, nothing else.

#include <asio/io_context.hpp>
#include <functional>
#include <memory>
#include <string>

namespace velgate {

class StdinLines {
 public:
  /// on_line runs on the loop's thread.
  StdinLines(asio::io_context& io, std::function<void(const std::string&)> on_line);
  /// After this no line reaches the loop.
  ~StdinLines();

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
};

}  // namespace velgate
