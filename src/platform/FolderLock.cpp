#include "platform/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

namespace velgate {

FolderLock::~FolderLock() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

bool FolderLock::Take(const std::string& folder, const std::string& program) {
  const std::string path = folder + "/velgated.lock";
  int descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  // A folder the gateway may not write to can still hold a lock file made before.
  const bool writable = descriptor >= 0;
  if (!writable) descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (descriptor < 0) return true;
  if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
    char text[128] = {};
    const ssize_t got = ::pread(descriptor, text, sizeof text - 1, 0);
    std::string_view who(text, got > 0 ? static_cast<std::size_t>(got) : 0);
    if (const std::size_t end = who.find('\n'); end != std::string_view::npos)
      who = who.substr(0, end);
    // The file holds "PID PROGRAM".
    const std::size_t blank = who.find(' ');
    if (blank != std::string_view::npos) {
      holder_pid_ = who.substr(0, blank);
      holder_program_ = who.substr(blank + 1);
    }
    ::close(descriptor);
    return false;
  }
  descriptor_ = descriptor;
  if (writable) {
    const std::string text = std::to_string(::getpid()) + " " + program + "\n";
    if (::ftruncate(descriptor_, 0) == 0) {
      [[maybe_unused]] const ssize_t written = ::pwrite(descriptor_, text.data(), text.size(), 0);
    }
  }
  return true;
}

}  // namespace velgate
