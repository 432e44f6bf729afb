#include "UserRoadFixture.h"

namespace velgate::testing {

std::string Up(std::initializer_list<std::string> fields) {
  std::string text;
  bool first = true;
  for (const std::string& field : fields) {
    if (!first) text += '^';
    text += field;
    first = false;
  }
  return text + '\x03';
}

std::string Down(std::initializer_list<std::string> fields) {
  std::string text;
  bool first = true;
  for (const std::string& field : fields) {
    if (!first) text += '\x03';
    text += field;
    first = false;
  }
  return text + '\x04';
}

void UserRoadFixture::StartOffline(std::initializer_list<std::string> extra) {
  folder.Write("Velgate.cfg", StandardConfig(extra));
  Start();
}

void UserRoadFixture::StartOnline(std::initializer_list<std::string> extra) {
  StartOffline(extra);
  ConnectCluster();
}

void UserRoadFixture::ConnectCluster() {
  cluster = std::make_unique<TestPeer>(cluster_port);
  EXPECT_TRUE(
      loop.RunUntil([&] { return gateway->VelgateCluster().State() == SocketState::kConnected; }));
  cluster->Send("7261");
  EXPECT_TRUE(loop.RunUntil([&] { return gateway->Link().ClusterOnline(); }));
  Settle();
  cluster->ClearReceived();
}

std::unique_ptr<TestPeer> UserRoadFixture::ConnectUser(const std::string& source, int port) {
  const std::int32_t before = Table().LastConnID;
  auto user = std::make_unique<TestPeer>(port == 0 ? user_port : port, source);
  EXPECT_TRUE(user->Connected());
  EXPECT_TRUE(loop.RunUntil([&] { return Table().LastConnID > before; }));
  return user;
}

int UserRoadFixture::LastStream() const {
  StreamTable& table = gateway->Streams();
  for (int s = 1; s <= table.StreamMax(); ++s) {
    if (table.StreamConnID[static_cast<std::size_t>(s)] == table.LastConnID) return s;
  }
  return -1;
}

std::unique_ptr<TestPeer> UserRoadFixture::LoggedInUser(const std::string& call,
                                                        const std::string& source) {
  auto user = ConnectUser(source);
  const int s = LastStream();
  ClusterSends(Down({"6", std::to_string(s)}));
  EXPECT_TRUE(loop.RunUntil([&] { return Table().StreamState[static_cast<std::size_t>(s)] == 7; }));
  gateway->View().MutableRow(s).call.text = call;
  Settle();
  cluster->ClearReceived();
  return user;
}

void UserRoadFixture::Settle() {
  loop.RunUntil([] { return false; }, std::chrono::milliseconds(30));
  if (cluster) cluster->Pump();
}

std::string UserRoadFixture::Settled(TestPeer& peer) {
  Settle();
  peer.Pump();
  return peer.Received();
}

std::string UserRoadFixture::ClusterGot() {
  Settle();
  std::string got = cluster->Received();
  cluster->ClearReceived();
  return got;
}

std::string UserRoadFixture::ClusterWaitFor(std::size_t n) {
  cluster->WaitForBytes(loop, n);
  return ClusterGot();
}

std::string UserRoadFixture::UserWaitFor(TestPeer& user, std::size_t n) {
  user.WaitForBytes(loop, n);
  Settle();
  user.Pump();
  std::string got = user.Received();
  user.ClearReceived();
  return got;
}

}  // namespace velgate::testing
