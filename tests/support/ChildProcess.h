#pragma once
// A program of this project run by a test, its standard streams in the test's hands.

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace velgate::testing {

// A program running, with its standard input, output and error in the test's hands; as another
// user when one is given (the test runs as root then).
class Process {
 public:
  explicit Process(std::vector<std::string> arguments, const char* program, uid_t as_user = 0) {
    int pipes[3][2];  // standard input, output and error; the child gets [0][0], [1][1], [2][1]
    for (auto& ends : pipes) EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    std::vector<char*> argv = {const_cast<char*>(program)};
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    if ((pid_ = ::fork()) == 0) {  // the child: nothing but dup2, the user change and exec
      for (int fd = 0; fd < 3; ++fd) ::dup2(pipes[fd][fd == 0 ? 0 : 1], fd);
      if (as_user != 0 &&
          (::setgroups(0, nullptr) != 0 || ::setgid(as_user) != 0 || ::setuid(as_user) != 0))
        ::_exit(126);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    if (pid_ < 0) throw std::system_error(errno, std::generic_category(), "fork");
    for (int fd = 0; fd < 3; ++fd) ::close(pipes[fd][fd == 0 ? 0 : 1]);
    input_ = pipes[0][1];
    for (int i = 0; i < 2; ++i) ::fcntl(outputs_[i].fd = pipes[i + 1][0], F_SETFL, O_NONBLOCK);
  }
  ~Process() {
    if (!status_) Signal(SIGKILL), WaitForExit();
    for (int fd : {input_, outputs_[0].fd, outputs_[1].fd}) ::close(fd);
  }

  void Type(const std::string& line) {
    EXPECT_GT(::write(input_, (line + "\n").data(), line.size() + 1), 0) << line;
  }
  void CloseInput() { ::close(std::exchange(input_, -1)); }
  void Signal(int signal) { ::kill(pid_, signal); }
  // Waits up to 10 s until the condition holds, reading what it writes meanwhile.
  bool WaitUntil(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (; !condition(); WrittenOn(STDOUT_FILENO)) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      ::poll(outputs_, 2, 5);
    }
    return true;
  }
  // The exit status, or nothing when it did not end within 10 s.
  std::optional<int> WaitForExit() {
    int status = 0;
    if (!status_ && WaitUntil([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }))
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return status_;
  }

  const std::string& WrittenOn(int fd) {
    char buffer[4096];
    for (int i = 0; i < 2; ++i)
      for (ssize_t got; (got = ::read(outputs_[i].fd, buffer, sizeof buffer)) > 0;)
        texts_[i].append(buffer, static_cast<std::size_t>(got));
    return texts_[fd - STDOUT_FILENO];
  }

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  pollfd outputs_[2] = {{-1, POLLIN, 0}, {-1, POLLIN, 0}};
  std::string texts_[2];
  std::optional<int> status_;
};

}  // namespace velgate::testing
