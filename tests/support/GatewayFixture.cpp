#include "GatewayFixture.h"

#include <algorithm>

namespace velgate::testing {

std::string Joined(std::initializer_list<std::string> fields, char between, char end) {
  std::string text;
  for (const std::string& field : fields) text += field + between;
  if (!text.empty()) text.pop_back();
  return text + end;
}

std::string ConfigLines(std::initializer_list<std::string> lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

std::vector<std::string> Starting(const std::vector<std::string>& messages,
                                  std::initializer_list<std::string> prefixes) {
  std::vector<std::string> found;
  std::copy_if(messages.begin(), messages.end(), std::back_inserter(found), [&](auto& m) {
    return std::any_of(prefixes.begin(), prefixes.end(),
                       [&](auto& p) { return m.rfind(p, 0) == 0; });
  });
  return found;
}

GatewayFixture::~GatewayFixture() {
  if (gateway) gateway->CloseByProgram();
}

std::string GatewayFixture::StandardConfig(std::initializer_list<std::string> extra) const {
  return ConfigLines({"\"AGWenabled\",0", "\"ClusterPort\"," + N(cluster_port),
                      PortRecord("UserPort", user_port), PortRecord("AGWport", bridge_port),
                      PortRecord("MonitorPort", monitor_port)}) +
         ConfigLines(extra);
}

Gateway& GatewayFixture::Start() {
  if (gateway) gateway->CloseByProgram();
  loop.Poll();
  shut_down = false;
  gateway = std::make_unique<Gateway>(loop.io, loop.clock, loop.timers,
                                      GatewayOptions{folder.Path(), false});
  gateway->SetShutdownHandler([this] { shut_down = true; });
  gateway->FormLoad();
  loop.AdvanceMs(250);
  return *gateway;
}

std::size_t GatewayFixture::ErrorLogLines() const {
  const std::string text = ErrorLogText();
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

void UserRoadFixture::ConnectCluster(bool online) {
  cluster = std::make_unique<TestPeer>(cluster_port);
  EXPECT_TRUE(
      loop.RunUntil([&] { return gateway->Link().Socket().State() == SocketState::kConnected; }));
  if (!online) return;
  cluster->Send("7261");
  EXPECT_TRUE(loop.RunUntil([&] { return gateway->Link().ClusterOnline(); }));
  ClusterGot();
}

std::unique_ptr<TestPeer> UserRoadFixture::ConnectUser(const std::string& source, int port) {
  const std::int32_t before = Table().LastConnID();
  auto user = std::make_unique<TestPeer>(port == 0 ? user_port : port, source);
  EXPECT_TRUE(user->Connected());
  EXPECT_TRUE(loop.RunUntil([&] { return Table().LastConnID() > before; }));
  return user;
}

int UserRoadFixture::LastStream() {
  for (int s = 1; s <= Table().StreamMax(); ++s) {
    if (Table().At(s).connection == Table().LastConnID()) return s;
  }
  return -1;
}

std::unique_ptr<TestPeer> UserRoadFixture::LoggedInUser(const std::string& call,
                                                        const std::string& source) {
  auto user = ConnectUser(source);
  const int s = LastStream();
  ClusterSends(Down({"6", N(s)}));
  EXPECT_TRUE(WaitState(s, StreamState::kLoggedIn));
  gateway->View().MutableRow(s).call.text = call;
  ClusterGot();
  return user;
}

std::string UserRoadFixture::UserWaitFor(TestPeer& user, std::size_t n) {
  user.WaitForBytes(loop, n);
  std::string got = Settled(user);
  user.ClearReceived();
  return got;
}

::testing::AssertionResult UserRoadFixture::UserGets(TestPeer& user, const std::string& expected) {
  const std::string got = UserWaitFor(user, expected.size());
  if (got == expected) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got " << ::testing::PrintToString(got)
                                       << "\n   expected " << ::testing::PrintToString(expected);
}

std::vector<std::string> UserRoadFixture::MonitorQueue() {
  std::vector<std::string> queued;
  for (std::string message; gateway->Monitor().Feed().TakeNext(message);) queued.push_back(message);
  return queued;
}

}  // namespace velgate::testing
