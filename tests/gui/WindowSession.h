#pragma once
// A real gateway on its own thread with virtual time, in a temporary folder on free loopback
// ports, and the desktop window over it, offscreen. The test thread is the window's thread.

#include <QCoreApplication>
#include <QTest>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "TestPeer.h"
#include "platform/Clock.h"
#include "ui/qt/GatewayThread.h"
#include "ui/qt/MainWindow.h"

namespace velgate::testing {

class WindowSession {
 public:
  /// Velgate.cfg records besides the ports, one per line.
  explicit WindowSession(const std::string& extra_records = "", int user_ports = 1) {
    const std::vector<int> ports = FreePorts(2 + user_ports);
    cluster_port = ports[0];
    monitor_port = ports[1];
    std::string config = "\"ClusterPort\"," + std::to_string(cluster_port) + "\r\n" +
                         "\"MonitorPort\",\"" + std::to_string(monitor_port) + "\"\r\n";
    for (int i = 0; i < user_ports; ++i) {
      user_port.push_back(ports[static_cast<std::size_t>(2 + i)]);
      config += "\"UserPort\",\"" + std::to_string(user_port.back()) + "\"\r\n";
    }
    folder.Write("Velgate.cfg", config + extra_records);
    gateway =
        std::make_unique<qt::GatewayThread>(clock, false, GatewayOptions{folder.Path(), false});
    window = std::make_unique<qt::MainWindow>(*gateway);
    window->Start();
    AdvanceMs(250);
    Show();
  }
  ~WindowSession() {
    gateway->Stop();
    window.reset();
  }

  /// Runs work on the gateway's thread and waits for it; then the window's queued work runs.
  template <typename Work>
  auto Run(Work work) {
    using Result = decltype(work(std::declval<Gateway&>()));
    auto done = std::make_shared<std::promise<Result>>();
    gateway->PostToCore([work, done](Gateway& g, TimerQueue&) {
      if constexpr (std::is_void_v<Result>) {
        work(g);
        done->set_value();
      } else {
        done->set_value(work(g));
      }
    });
    auto result = done->get_future();
    result.wait();
    QCoreApplication::processEvents();
    return result.get();
  }
  /// Moves virtual time on, one due timer per step, so what each sets going runs in between.
  void AdvanceMs(std::int64_t ms) {
    const std::int64_t target = Run([this](Gateway&) { return clock.SteadyMs(); }) + ms;
    for (bool fired = true; fired;) {
      auto step = std::make_shared<std::promise<bool>>();
      gateway->PostToCore([this, target, step](Gateway&, TimerQueue& timers) {
        const std::optional<std::int64_t> due = timers.NextDueMs();
        if (!due || *due > target) {
          clock.AdvanceMs(target - clock.SteadyMs());
          step->set_value(false);
          return;
        }
        clock.AdvanceMs(std::max<std::int64_t>(0, *due - clock.SteadyMs()));
        timers.FireDue();
        step->set_value(true);
      });
      fired = step->get_future().get();
    }
    Show();
  }
  /// The window shows what the gateway holds now.
  void Show() {
    window->TakeChanges();
    Run([](Gateway&) {});
    window->TakeChanges();
  }
  /// Waits until the gateway's state satisfies done (socket traffic takes real time).
  template <typename Condition>
  bool WaitFor(Condition done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!Run(done)) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      QTest::qWait(2);
    }
    Show();
    return true;
  }
  /// Waits until a peer has received text.
  static bool Heard(TestPeer& peer, const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (peer.Pump(), peer.Received().find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      QTest::qWait(2);
    }
    return true;
  }
  std::string File() const { return folder.Read("Velgate.cfg").value_or(""); }
  Settings CurrentSettings() {
    return Run([](Gateway& g) { return g.CurrentSettings(); });
  }

  TempFolder folder;
  ManualClock clock;
  int cluster_port = 0;
  int monitor_port = 0;
  std::vector<int> user_port;
  std::unique_ptr<qt::GatewayThread> gateway;
  std::unique_ptr<qt::MainWindow> window;
};

}  // namespace velgate::testing
