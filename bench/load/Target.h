#pragma once
// The program under load, in a process of its own (each process may hold at most 20,000 open
// files, and the load tool holds one end of every connection): the gateway (velgated) or the
// plain relay that does the same socket work without any of the gateway's rules.

#include <sys/types.h>

#include <string>
#include <vector>

namespace velgate::load {

class Target {
 public:
  /// velgated in a fresh folder of its own, with free loopback ports and the given PreLoad;
  /// `records` ("Key",value each) are added to its Velgate.cfg.
  static Target Gateway(const std::string& program, int preload,
                        const std::vector<std::string>& records = {});
  /// The plain relay, on free loopback ports.
  static Target Relay(const std::string& program);
  Target(Target&& other) noexcept;
  Target& operator=(Target&&) = delete;
  Target(const Target&) = delete;
  ~Target();

  const std::string& Name() const { return name_; }
  bool IsGateway() const { return name_ == "velgate"; }
  int ClusterPort() const { return cluster_port_; }
  int UserPort() const { return user_port_; }
  /// The monitor port; 0 for the relay.
  int MonitorPort() const { return monitor_port_; }
  /// Seconds from launch until the cluster port answered; negative if it never did.
  double SecondsToListen() const { return seconds_to_listen_; }

  /// CPU seconds the process has used so far (user and system).
  double CpuSeconds() const;
  /// Resident memory in bytes.
  long ResidentBytes() const;
  /// Lines of the process's standard error so far that contain `part`.
  int LogLines(const std::string& part) const;
  /// Ends the process with SIGTERM and waits for it.
  void Stop();

 private:
  Target() = default;
  /// A target named name with a fresh folder and port_count free ports (cluster, users, monitor).
  static Target Prepared(const std::string& name, int port_count);
  /// Starts program with arguments and waits until the cluster port answers.
  void Launch(const std::string& program, const std::vector<std::string>& arguments);

  std::string name_;
  std::string folder_;
  pid_t pid_ = -1;
  int cluster_port_ = 0;
  int user_port_ = 0;
  int monitor_port_ = 0;
  double seconds_to_listen_ = -1;
};

}  // namespace velgate::load
