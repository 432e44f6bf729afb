#pragma once
// A real gateway in a temporary folder, on a test loop with virtual time, on free loopback ports;
// a fake cluster server, and users who connect from chosen 127.0.0.x addresses.

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "TempFolder.h"
#include "TestLoop.h"
#include "TestPeer.h"
#include "app/Gateway.h"
#include "base/OperationsLine.h"

namespace velgate::testing {

inline const std::string ETX = "\x03";
inline const std::string EOT = "\x04";
using Texts = std::vector<std::string>;
using Peer = std::unique_ptr<TestPeer>;
using Check = ::testing::AssertionResult;
inline std::string N(int value) {
  return std::to_string(value);
}
inline std::string Joined(std::initializer_list<std::string> fields, const std::string& between,
                          const std::string& end) {
  std::string text;
  for (const std::string& field : fields) text += field + between;
  return fields.size() == 0 ? "" : text.substr(0, text.size() - between.size()) + end;
}
/// Velgate.cfg records; upstream ("^", Chr(3)) and downstream (Chr(3), Chr(4)) messages.
inline std::string ConfigLines(std::initializer_list<std::string> lines) {
  return Joined(lines, "\r\n", "\r\n");
}
inline std::string Up(std::initializer_list<std::string> fields) {
  return Joined(fields, "^", ETX);
}
inline std::string Down(std::initializer_list<std::string> fields) {
  return Joined(fields, ETX, EOT);
}
inline std::string PortRecord(const std::string& key, int port) {
  return "\"" + key + "\",\"" + N(port) + "\"";
}
/// What the cluster hears of a new caller: AA02 with the table's range, then its AA03.
inline std::string Announced(int s, const std::string& address, int id,
                             const std::string& listener = "1", int first = 2, int last = 6) {
  return Up({"AA02", N(first), N(last)}) +
         Up({"AA03", "Connect Request", N(s), "3", address, listener, N(id)});
}
inline Texts Starting(const Texts& messages, std::initializer_list<std::string> prefixes) {
  Texts found;
  for (const std::string& m : messages) {
    if (std::any_of(prefixes.begin(), prefixes.end(), [&](auto& p) { return m.starts_with(p); }))
      found.push_back(m);
  }
  return found;
}

class GatewayFixture : public ::testing::Test {
 protected:
  ~GatewayFixture() override {
    if (gateway) gateway->CloseByProgram();
  }

  /// The ports, and the cluster and monitor ports open to the trusted addresses only.
  std::string StandardConfig(std::initializer_list<std::string> extra = {}) const {
    std::string records =
        ConfigLines({"\"AGWenabled\",0", "\"ClusterPort\"," + N(cluster_port),
                     PortRecord("UserPort", user_port), PortRecord("AGWport", bridge_port),
                     PortRecord("MonitorPort", monitor_port)});
    if (!trusted.empty()) {
      records += ConfigLines(
          {"\"ClusterAllow\",\"" + trusted + "\"", "\"MonitorAllow\",\"" + trusted + "\""});
    }
    return records + ConfigLines(extra);
  }
  /// A new gateway (the one before closed), started past its 250 ms pause unless told not to.
  Gateway& Start(bool past_pause = true) {
    if (gateway) gateway->CloseByProgram();
    loop.Poll();
    shut_down = false;
    gateway = std::make_unique<Gateway>(loop.io, loop.clock, loop.timers,
                                        GatewayOptions{folder.Path(), false, service});
    gateway->SetShutdownHandler([this] { shut_down = true; });
    gateway->View().SetListener(listener);
    gateway->Log().SetSink(&log_capture);
    gateway->FormLoad();
    if (past_pause) loop.AdvanceMs(250);
    return *gateway;
  }
  void StartOffline(std::initializer_list<std::string> extra = {}) {
    folder.Write("Velgate.cfg", StandardConfig(extra));
    Start();
  }
  void StartOnline(std::initializer_list<std::string> extra = {}) {
    StartOffline(extra);
    ConnectCluster();
  }
  /// The fake cluster server; online, it has sent the ready word and its input is forgotten.
  void ConnectCluster(bool online = true) {
    cluster = std::make_unique<TestPeer>(cluster_port);
    EXPECT_TRUE(loop.RunUntil([&] { return Link().Socket().State() == SocketState::kConnected; }));
    if (!online) return;
    cluster->Send("7261");
    EXPECT_TRUE(loop.RunUntil([&] { return Link().ClusterOnline(); }));
    ClusterGot();
  }
  /// A user connected to port (0: the first user port) and admitted.
  [[nodiscard]] Peer ConnectUser(const std::string& source = "127.0.0.1", int port = 0) {
    const std::int32_t before = Table().LastConnID();
    auto user = std::make_unique<TestPeer>(port == 0 ? user_port : port, source);
    EXPECT_TRUE(user->Connected());
    EXPECT_TRUE(loop.RunUntil([&] { return Table().LastConnID() > before; }));
    return user;
  }
  int LastStream() {
    for (int s = 1; s <= Table().StreamMax(); ++s)
      if (Table().At(s).connection == Table().LastConnID()) return s;
    return -1;
  }
  /// The user on stream s sends call as its login line: a login answer for s is then its own.
  void SendsLogin(TestPeer& user, int s, const std::string& call) {
    user.Send(call + "\r\n");
    EXPECT_TRUE(WaitState(s, StreamState::kLoginSent));
  }
  /// A user who sent call as its login line and was logged in with code 6; the cluster's input
  /// forgotten.
  Peer LoggedInUser(const std::string& call, const std::string& source) {
    auto user = ConnectUser(source);
    const int s = LastStream();
    SendsLogin(*user, s, call);
    ClusterSends(Down({"6", N(s)}));
    EXPECT_TRUE(WaitState(s, StreamState::kLoggedIn));
    Row(s).call.text = call;
    ClusterGot();
    return user;
  }

  /// The operational log's lines since the last call; with prefixes, those starting with one.
  Texts LogLines(std::initializer_list<std::string> prefixes = {}) {
    Texts lines = std::exchange(log_capture.lines, {});
    return prefixes.size() == 0 ? lines : Starting(lines, prefixes);
  }
  std::string ErrorLogText() const { return folder.Read("error.log").value_or(""); }
  std::size_t ErrorLogLines() const { return std::ranges::count(ErrorLogText(), '\n'); }
  /// error.log lines that hold text.
  std::size_t LogLinesWith(const std::string& text) const {
    std::size_t count = 0;
    const std::string log = ErrorLogText();
    for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
      ++count;
    return count;
  }
  void Settle() { loop.RunUntil(Never, std::chrono::milliseconds(30)); }
  static bool Never() { return false; }
  std::string Settled(TestPeer& peer) { return Settle(), peer.Pump(), peer.Received(); }
  /// What the peer received, waiting for n bytes and a Settle; forgotten after.
  std::string UserWaitFor(TestPeer& user, std::size_t n) {
    const std::string got = (user.WaitForBytes(loop, n), Settled(user));
    user.ClearReceived();
    return got;
  }
  std::string ClusterGot() { return UserWaitFor(*cluster, 0); }
  Check UserGets(TestPeer& user, const std::string& expected) {
    const std::string got = UserWaitFor(user, expected.size());
    if (got == expected) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << ::testing::PrintToString(got)
                                         << "\n   expected " << ::testing::PrintToString(expected);
  }
  Check ClusterGets(const std::string& expected) { return UserGets(*cluster, expected); }
  void ClusterSends(const std::string& bytes) { cluster->Send(bytes); }
  /// The user sends bytes and the cluster gets exactly expected; or the cluster sends and the user
  /// (or the cluster itself, for an answer) gets them.
  Check SentUp(TestPeer& user, const std::string& bytes, const std::string& expected) {
    user.Send(bytes);
    return ClusterGets(expected);
  }
  Check SentDown(const std::string& bytes, TestPeer& user, const std::string& expected) {
    ClusterSends(bytes);
    return UserGets(user, expected);
  }

  bool WaitClosed(TestPeer& peer) {
    return loop.RunUntil([&] { return peer.Pump(), peer.Closed(); });
  }
  bool StillConnected(TestPeer& peer) { return Settled(peer), !peer.Closed(); }
  bool WaitSocket(int s, SocketState state) {
    return loop.RunUntil(
        [&] { return Table().StreamMax() >= s && Table().Socket(s).State() == state; });
  }
  bool WaitState(int s, StreamState state) {
    return loop.RunUntil([&] { return State(s) == state; });
  }
  /// The monitor messages queued since the last call; with prefixes, those starting with one.
  Texts MonitorQueue(std::initializer_list<std::string> prefixes = {}) {
    Texts queued;
    for (std::string message; Feed().TakeNext(message);) queued.push_back(message);
    return prefixes.size() == 0 ? queued : Starting(queued, prefixes);
  }
  /// The monitor feed on as if a client were connected, watching stream s and no other.
  void FeedOn(int s) {
    Feed().MonitorActive = true;
    Feed().FollowNew = false;
    Feed().SockState = SocketState::kConnected;
    Feed().MonitoredStream = static_cast<std::int16_t>(s);
  }

  MonitorFeed& Feed() { return gateway->Monitor().Feed(); }
  ClusterLink& Link() { return gateway->Link(); }
  const MainLabels& Labels() { return gateway->View().Labels(); }
  StreamTable& Table() { return gateway->Streams(); }
  StreamState& State(int s) { return Table().At(s).state; }
  StatusRow& Row(int s) { return gateway->View().MutableRow(s); }

  TempFolder folder;
  TestLoop loop;
  const std::vector<int> ports = FreePorts(5);
  const int user_port = ports[0], second_user_port = ports[1], cluster_port = ports[2],
            monitor_port = ports[3], bridge_port = ports[4];
  /// The address prefix the cluster and monitor ports take callers from; empty: any.
  std::string trusted = "127.";
  /// Hears the gateway's alerts and reports from start-up on, when set.
  ViewListener* listener = nullptr;
  /// The service manager the gateway tells of its state, when set.
  ServiceNotify* service = nullptr;
  /// The operational log's lines, as the program writes them.
  struct : OperationsSink {
    void Record(const oplog::Event& event) override { lines.push_back(OperationsLine(event)); }
    Texts lines;
  } log_capture;
  std::unique_ptr<Gateway> gateway;
  bool shut_down = false;
  Peer cluster;
};

}  // namespace velgate::testing
