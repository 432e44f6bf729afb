#include "VelgatedProcess.h"

#include <fcntl.h>
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
  std::vector<char*> argv;
  std::string program = VELGATED_PATH;
  argv.push_back(program.data());
  std::vector<std::string> copies = arguments;
  for (std::string& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);
  if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
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
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  if (stdin_fd_ >= 0) ::close(stdin_fd_);
  if (stderr_fd_ >= 0) ::close(stderr_fd_);
}

void VelgatedProcess::Type(const std::string& line) {
  std::string text = line + "\n";
  ssize_t written = ::write(stdin_fd_, text.data(), text.size());
  (void)written;
}

void VelgatedProcess::Signal(int signal) {
  if (pid_ > 0) ::kill(pid_, signal);
}

const std::string& VelgatedProcess::Errors() {
  char buffer[4096];
  ssize_t got;
  while ((got = ::read(stderr_fd_, buffer, sizeof buffer)) > 0) {
    errors_.append(buffer, static_cast<std::size_t>(got));
  }
  return errors_;
}

bool VelgatedProcess::WaitUntil(const std::function<bool()>& condition,
                                std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    Errors();
    // Wait for the process to say something, or a few ms for its sockets and files.
    pollfd output{stderr_fd_, POLLIN, 0};
    ::poll(&output, 1, 5);
  }
  return true;
}

std::optional<int> VelgatedProcess::WaitForExit(std::chrono::milliseconds limit) {
  if (exit_status_) return exit_status_;
  WaitUntil(
      [&] {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
          exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        return exit_status_.has_value();
      },
      limit);
  Errors();
  return exit_status_;
}

}  // namespace velgate::testing
