#pragma once
// The built velgated, started with its standard input and standard error in the test's hands.

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velgate::testing {

class VelgatedProcess {
 public:
  explicit VelgatedProcess(const std::vector<std::string>& arguments);
  ~VelgatedProcess();
  VelgatedProcess(const VelgatedProcess&) = delete;
  VelgatedProcess& operator=(const VelgatedProcess&) = delete;

  void Type(const std::string& line);
  void CloseInput();
  void Signal(int signal);
  /// The exit status, or nothing when it did not end in time.
  std::optional<int> WaitForExit(std::chrono::milliseconds limit = std::chrono::seconds(10));
  const std::string& Errors();
  /// Waits until condition holds, reading standard error meanwhile.
  bool WaitUntil(const std::function<bool()>& condition,
                 std::chrono::milliseconds limit = std::chrono::seconds(10));

 private:
  int pid_ = -1;
  int stdin_fd_ = -1;
  int stderr_fd_ = -1;
  std::string errors_;
  std::optional<int> exit_status_;
};

}  // namespace velgate::testing
