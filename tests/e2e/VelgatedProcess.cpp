#include "VelgatedProcess.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace velgate::testing {

VelgatedProcess::VelgatedProcess(const std::vector<std::string>& arguments) {
  int input[2];
  int errors[2];
  if (::pipe2(input, O_CLOEXEC) != 0 || ::pipe2(errors, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, errors[1], STDERR_FILENO);
  std::vector<std::string> copies = arguments;
  copies.insert(copies.begin(), VELGATED_PATH);
  std::vector<char*> argv;
  for (std::string& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);
  if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  ::close(input[0]);
  ::close(errors[1]);
  stdin_fd_ = input[1];
  stderr_fd_ = errors[0];
  ::fcntl(stderr_fd_, F_SETFL, ::fcntl(stderr_fd_, F_GETFL) | O_NONBLOCK);
}

VelgatedProcess::~VelgatedProcess() {
  if (pid_ > 0 && !exit_status_) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  CloseInput();
  if (stderr_fd_ >= 0) ::close(stderr_fd_);
}

void VelgatedProcess::Type(const std::string& line) {
  const std::string text = line + "\n";
  if (::write(stdin_fd_, text.data(), text.size()) < 0) ADD_FAILURE() << "cannot type " << line;
}

void VelgatedProcess::CloseInput() {
  if (stdin_fd_ >= 0) ::close(stdin_fd_);
  stdin_fd_ = -1;
}

void VelgatedProcess::Signal(int signal) {
  if (pid_ > 0) ::kill(pid_, signal);
}

const std::string& VelgatedProcess::Errors() {
  char buffer[4096];
  for (ssize_t got; (got = ::read(stderr_fd_, buffer, sizeof buffer)) > 0;)
    errors_.append(buffer, static_cast<std::size_t>(got));
  return errors_;
}

bool VelgatedProcess::WaitUntil(const std::function<bool()>& condition,
                                std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    Errors();
    pollfd output{stderr_fd_, POLLIN, 0};
    ::poll(&output, 1, 5);
  }
  return true;
}

std::optional<int> VelgatedProcess::WaitForExit(std::chrono::milliseconds limit) {
  WaitUntil(
      [&] {
        int status = 0;
        if (!exit_status_ && ::waitpid(pid_, &status, WNOHANG) == pid_)
          exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return exit_status_.has_value();
      },
      limit);
  Errors();
  return exit_status_;
}

}  // namespace velgate::testing
