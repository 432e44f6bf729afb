#include "platform/ProgramFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/RunTimeError.h"

namespace velgate {
namespace {

namespace fs = std::filesystem;

RunTimeError FileError(const std::string& path) {
  return RunTimeError::FileAccess(path + ": " + std::strerror(errno));
}

void WriteAll(int fd, std::string_view bytes, const std::string& path) {
  while (!bytes.empty()) {
    ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      RunTimeError error = FileError(path);
      ::close(fd);
      throw error;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace

ProgramFolder::ProgramFolder(const std::string& path) {
  std::error_code error;
  fs::path absolute = fs::absolute(path.empty() ? fs::path(".") : fs::path(path), error);
  absolute = absolute.lexically_normal();
  std::string text = absolute.string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  path_ = text;
}

std::string ProgramFolder::File(std::string_view name) const {
  return path_ == "/" ? "/" + std::string(name) : path_ + "/" + std::string(name);
}

void ProgramFolder::DeleteIpLogs() const {
  std::error_code error;
  for (fs::directory_iterator it(path_, error), end; !error && it != end; it.increment(error)) {
    std::string name = it->path().filename().string();
    if (name.size() < 6 || name.compare(0, 2, "ip") != 0 ||
        name.compare(name.size() - 4, 4, ".log") != 0) {
      continue;
    }
    std::error_code status_error;
    if (!fs::is_regular_file(fs::symlink_status(it->path(), status_error))) continue;
    fs::remove(it->path(), status_error);
  }
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return std::nullopt;
    throw FileError(path);
  }
  std::string bytes;
  char buffer[8192];
  for (;;) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      RunTimeError error = FileError(path);
      ::close(fd);
      throw error;
    }
    if (got == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return bytes;
}

void WriteFileReplacing(const std::string& path, std::string_view bytes) {
  std::string temporary = path + ".new";
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw FileError(temporary);
  WriteAll(fd, bytes, temporary);
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    RunTimeError error = FileError(temporary);
    ::unlink(temporary.c_str());
    throw error;
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    RunTimeError error = FileError(path);
    ::unlink(temporary.c_str());
    throw error;
  }
}

bool IsReadOnlyFile(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return false;
  if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return true;
  return ::access(path.c_str(), W_OK) != 0 && (errno == EACCES || errno == EROFS);
}

void AppendToFile(const std::string& path, std::string_view bytes) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) throw FileError(path);
  WriteAll(fd, bytes, path);
  if (::close(fd) != 0) throw FileError(path);
}

}  // namespace velgate
