#pragma once
// A gateway for the benchmarks: its own folder and free loopback ports, its loop on a thread
// of its own, real time, and a fake cluster server already online.

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "TempFolder.h"
#include "TestPeer.h"
#include "app/Gateway.h"
#include "platform/AsioTimerDriver.h"
#include "platform/Clock.h"
#include "platform/TimerQueue.h"

namespace velgate::testing {

class GatewayOnThread {
 public:
  /// Starts with preload streams prepared; returns once the cluster server is online.
  explicit GatewayOnThread(int preload) {
    folder_.Write("Velgate.cfg", "\"ClusterPort\"," + std::to_string(ports_[0]) +
                                     "\r\n\"UserPort\",\"" + std::to_string(ports_[1]) +
                                     "\"\r\n\"MonitorPort\",\"" + std::to_string(ports_[2]) +
                                     "\"\r\n\"PreLoad\"," + std::to_string(preload) + "\r\n");
    gateway_.FormLoad();
    loop_ = std::thread([this] { io_.run(); });
    // The monitor listener opens after start-up's pause, the cluster's a moment after it.
    while (!PortAnswers(ports_[2])) std::this_thread::yield();
    do cluster_ = std::make_unique<TestPeer>(ports_[0]);
    while (!cluster_->Connected());
    cluster_->Send("7261");
    while (cluster_->Received().find("AA18^") == std::string::npos) cluster_->Pump();
    cluster_->ClearReceived();
  }
  ~GatewayOnThread() { Stop(); }

  /// The fake cluster server's connection.
  TestPeer& Cluster() { return *cluster_; }
  /// The users' port.
  int UserPort() const { return ports_[1]; }
  /// Ends the gateway and its thread.
  void Stop() {
    if (!loop_.joinable()) return;
    work_.reset();
    asio::post(io_, [this] {
      gateway_.CloseByProgram();
      io_.stop();
    });
    loop_.join();
  }

 private:
  TempFolder folder_;
  std::vector<int> ports_ = FreePorts(3);
  asio::io_context io_;
  SystemClock clock_;
  TimerQueue timers_{clock_};
  AsioTimerDriver driver_{io_, timers_};
  Gateway gateway_{io_, clock_, timers_, GatewayOptions{folder_.Path(), false}};
  asio::executor_work_guard<asio::io_context::executor_type> work_ = asio::make_work_guard(io_);
  std::thread loop_;
  std::unique_ptr<TestPeer> cluster_;
};

}  // namespace velgate::testing
