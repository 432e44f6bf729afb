#include "Target.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "TestPeer.h"

namespace velgate::load {
namespace {

using Clock = std::chrono::steady_clock;

std::string FreshFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "velgate-load-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    std::exit(2);
  }
  return pattern;
}

// Whether a socket listens on the port, read from the kernel's table rather than by connecting
// (a connection to the cluster port would be taken as the cluster server's).
// The gateway listens on [::] (both families), the relay on IPv4.
bool Listening(int port) {
  char wanted[8];
  std::snprintf(wanted, sizeof wanted, ":%04X", port);
  for (const char* path : {"/proc/net/tcp", "/proc/net/tcp6"}) {
    std::ifstream table(path);
    for (std::string line; std::getline(table, line);) {
      std::istringstream fields(line);
      std::string slot, local, remote, state;
      fields >> slot >> local >> remote >> state;
      if (state == "0A" && local.ends_with(wanted)) return true;
    }
  }
  return false;
}

}  // namespace

Target Target::Prepared(const std::string& name, int port_count) {
  Target target;
  target.name_ = name;
  target.folder_ = FreshFolder();
  const std::vector<int> ports = testing::FreePorts(port_count);
  target.cluster_port_ = ports[0];
  target.user_port_ = ports[1];
  if (port_count > 2) target.monitor_port_ = ports[2];
  return target;
}

Target Target::Gateway(const std::string& program, int preload,
                       const std::vector<std::string>& records) {
  Target target = Prepared("velgate", 3);
  const int ports[] = {target.cluster_port_, target.user_port_, target.monitor_port_};
  std::ofstream config(target.folder_ + "/Velgate.cfg");
  config << "\"ClusterPort\"," << ports[0] << "\r\n\"UserPort\",\"" << ports[1]
         << "\"\r\n\"MonitorPort\",\"" << ports[2] << "\"\r\n\"PreLoad\"," << preload
         << "\r\n\"ClusterAllow\",\"127.\"\r\n\"MonitorAllow\",\"127.\"\r\n";
  for (const std::string& record : records) config << record << "\r\n";
  config.close();
  // Users coming back after an outage: the all-time mark was reached long ago, so filling the
  // table does not rewrite highwater.dat at every login, as a first ever rise to it would.
  std::ofstream(target.folder_ + "/highwater.dat") << "30000,\"01-Jan-2026  00:00\"\r\n";
  target.Launch(program, {"--dir", target.folder_});
  return target;
}

Target Target::Relay(const std::string& program) {
  Target target = Prepared("relay", 2);
  target.Launch(program, {std::to_string(target.cluster_port_), std::to_string(target.user_port_)});
  return target;
}

void Target::Launch(const std::string& program, const std::vector<std::string>& arguments) {
  const auto start = Clock::now();
  pid_ = ::fork();
  if (pid_ == 0) {
    // Standard input from nowhere, standard error to a file in the folder.
    const int null_input = ::open("/dev/null", O_RDONLY);
    const int log = ::open((folder_ + "/stderr.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(null_input, STDIN_FILENO);
    ::dup2(log, STDOUT_FILENO);
    ::dup2(log, STDERR_FILENO);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    std::perror(program.c_str());
    ::_exit(127);
  }
  const auto deadline = start + std::chrono::seconds(30);
  while (Clock::now() < deadline) {
    if (Listening(cluster_port_)) {
      seconds_to_listen_ = std::chrono::duration<double>(Clock::now() - start).count();
      return;
    }
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) break;
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  std::fprintf(stderr, "%s did not open its cluster port; see %s/stderr.log\n", name_.c_str(),
               folder_.c_str());
  std::exit(2);
}

Target::Target(Target&& other) noexcept
    : name_(std::move(other.name_)),
      folder_(std::move(other.folder_)),
      pid_(other.pid_),
      cluster_port_(other.cluster_port_),
      user_port_(other.user_port_),
      monitor_port_(other.monitor_port_),
      seconds_to_listen_(other.seconds_to_listen_) {
  other.pid_ = -1;
  other.folder_.clear();
}

Target::~Target() {
  Stop();
  if (!folder_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
}

void Target::Stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
}

double Target::CpuSeconds() const {
  std::ifstream file("/proc/" + std::to_string(pid_) + "/stat");
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  // The fields after the command's closing parenthesis; utime and stime are the 12th and 13th.
  std::istringstream rest(text.substr(text.rfind(')') + 2));
  std::string field;
  double ticks = 0;
  for (int n = 1; n <= 13 && rest >> field; ++n) {
    if (n >= 12) ticks += std::stod(field);
  }
  return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

long Target::ResidentBytes() const {
  std::ifstream file("/proc/" + std::to_string(pid_) + "/status");
  std::string line;
  while (std::getline(file, line)) {
    if (line.starts_with("VmRSS:")) return std::stol(line.substr(6)) * 1024;
  }
  return 0;
}

int Target::LogLines(const std::string& part) const {
  std::ifstream file(folder_ + "/stderr.log");
  int count = 0;
  for (std::string line; std::getline(file, line);) {
    if (line.find(part) != std::string::npos) ++count;
  }
  return count;
}

}  // namespace velgate::load
