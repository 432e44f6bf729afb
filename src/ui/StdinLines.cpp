#include "ui/StdinLines.h"

#include <unistd.h>

#include <asio/post.hpp>
#include <cerrno>
#include <mutex>
#include <thread>

namespace velgate {

struct StdinLines::Shared {
  std::mutex mutex;
  asio::io_context* io = nullptr;  // null once the owner is gone
  std::function<void(const std::string&)> on_line;
};

StdinLines::StdinLines(asio::io_context& io, std::function<void(const std::string&)> on_line)
    : shared_(std::make_shared<Shared>()) {
  shared_->io = &io;
  shared_->on_line = std::move(on_line);
  std::thread([shared = shared_] {
    std::string pending;
    char buffer[4096];
    for (;;) {
      ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return;
      pending.append(buffer, static_cast<std::size_t>(got));
      std::size_t end;
      while ((end = pending.find('\n')) != std::string::npos) {
        std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        std::lock_guard<std::mutex> lock(shared->mutex);
        if (shared->io == nullptr) return;
        asio::post(*shared->io, [shared, line] {
          if (shared->on_line) shared->on_line(line);
        });
      }
      if (pending.size() > 64 * 1024) pending.clear();  // no operator line is that long
    }
  }).detach();
}

StdinLines::~StdinLines() {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  shared_->io = nullptr;
  shared_->on_line = nullptr;
}

}  // namespace velgate
