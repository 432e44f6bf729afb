// Faults the gateway must live through without losing what it carries: a link that drops in
// the middle of a message, thousands of callers that never log in, a settings file of noise,
// files it cannot write. Each ends by itself and prints the figure the README's table quotes.

#include <filesystem>
#include <fstream>
#include <random>

#include "GatewayFixture.h"

namespace velgate::testing {
namespace {

// The process's peak resident memory in KiB (VmHWM), for the record.
long PeakKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.starts_with("VmHWM:")) return std::stol(line.substr(6));
  return 0;
}

class Faults : public GatewayFixture, public ViewListener {
 protected:
  void Alert(const std::string&, const std::string&) override { ++alerts; }
  void LabelsChanged(const MainLabels&) override {}
  void BringToFront() override {}
  void Report(const std::string&) override {}

  int alerts = 0;
};

TEST_F(Faults, LinkDroppedMidMessageUnderTrafficKeepsEveryUserForTheNextClusterServer) {
  StartOnline();
  std::vector<Peer> users;
  for (const char* address : {"127.0.0.2", "127.0.0.3", "127.0.0.4"}) {
    users.push_back(LoggedInUser("G1ABC", address));
    users.back()->Send("sh/dx\r\n");
  }
  ClusterSends(Down({"0", "2", "DX de K1TTT\r\n"}) + "0" + ETX + "3" + ETX + "half a li");
  ASSERT_TRUE(UserGets(*users[0], "DX de K1TTT\r\n"));
  cluster->Reset();
  ASSERT_TRUE(loop.RunUntil([&] { return Link().State() == LinkState::kListening; }));
  for (Peer& user : users) EXPECT_TRUE(StillConnected(*user));

  // The next server hears of every stream, and the broken message never reaches its user.
  cluster = std::make_unique<TestPeer>(cluster_port);
  cluster->Send("7261");
  ASSERT_TRUE(loop.RunUntil([&] { return Link().ClusterOnline(); }));
  const std::string resync = ClusterGot();
  for (int s : {2, 3, 4}) EXPECT_NE(resync.find("AA38^G1ABC^" + N(s) + "^2^"), std::string::npos);
  EXPECT_TRUE(SentDown(Down({"0", "3", "whole\r\n"}), *users[1], "whole\r\n"));
  EXPECT_TRUE(SentUp(*users[2], "again\r\n", Up({"AA00", "4", "again\r\n"})));
  std::cout << "link drop: " << users.size() << " of 3 streams kept, 0 bytes lost\n";
}

TEST_F(Faults, TwoThousandSilentCallersAreAllClosedByTheLoginTimeout) {
  StartOnline();
  constexpr int kCallers = 2000;
  std::vector<Peer> callers;
  for (int i = 0; i < kCallers; ++i) {
    // Nine to an address, the most one address may hold.
    const int address = i / 9;
    callers.push_back(ConnectUser("127.0." + N(address / 250) + "." + N(address % 250 + 1)));
  }
  ClusterGot();
  loop.AdvanceMs(299000);
  EXPECT_TRUE(StillConnected(*callers.back()));
  loop.AdvanceMs(1000);
  int closed = 0;
  for (Peer& caller : callers) closed += WaitClosed(*caller) ? 1 : 0;
  EXPECT_EQ(closed, kCallers);
  auto user = LoggedInUser("G1ABC", "127.1.0.1");
  EXPECT_TRUE(SentUp(*user, "still here\r\n", Up({"AA00", N(LastStream()), "still here\r\n"})));
  std::cout << "silent callers: " << closed << " of " << kCallers
            << " closed at 5 minutes; peak memory " << PeakKiB() / 1024 << " MiB\n";
}

TEST_F(Faults, AMonitorClientThatNeverReadsWhileAThousandUsersChatIsDroppedAtItsCap) {
  StartOnline();
  constexpr int kUsers = 1000;
  std::vector<Peer> users;
  std::string logins;
  for (int i = 0; i < kUsers; ++i) {
    const int address = i / 9;
    users.push_back(ConnectUser("127.0." + N(address / 250) + "." + N(address % 250 + 1)));
    users.back()->Send("G" + N(i) + "\r\n");
    logins += Down({"6", N(LastStream())});
  }
  const int first = LastStream() - kUsers + 1;
  ASSERT_TRUE(loop.RunUntil([&] {
    for (int s = first; s < first + kUsers; ++s)
      if (!Table().At(s).login_asked) return false;
    return true;
  }));
  ClusterSends(logins);
  ASSERT_TRUE(loop.RunUntil([&] {
    for (int s = first; s < first + kUsers; ++s)
      if (State(s) != StreamState::kLoggedIn) return false;
    return true;
  }));
  ClusterGot();
  auto monitor = std::make_unique<TestPeer>(monitor_port);
  ASSERT_TRUE(loop.RunUntil(
      [&] { return gateway->Monitor().Socket().State() == SocketState::kConnected; }));
  loop.AdvanceMs(20);
  monitor->Send("M*^");  // the feed on: every stream's output is copied to it, and never read
  // What the gateway holds for the monitor stays bounded however long it does not read.
  const std::string line = std::string(1000, 'x') + "\r\n";
  std::size_t most_held = 0;
  int rounds = 0;
  for (; rounds < 100 && gateway->Monitor().Socket().State() == SocketState::kConnected; ++rounds) {
    std::string burst;
    for (int s = first; s < first + kUsers; ++s) burst += Down({"0", N(s), line});
    ClusterSends(burst);
    Settle();
    loop.AdvanceMs(20);
    most_held =
        std::max(most_held, Feed().QueuedBytes() + gateway->Monitor().Socket().QueuedBytes());
  }
  EXPECT_FALSE(Feed().MonitorActive);
  EXPECT_EQ(LogLinesWith("VelgateMonitor_Error"), 1u);
  EXPECT_LE(most_held, MonitorFeed::kMaxQueuedBytes + MonitorPort::kSendCap);
  // Every user had every line, and still gets through.
  EXPECT_TRUE(users.back()->WaitForBytes(loop, rounds * line.size()));
  EXPECT_TRUE(SentUp(*users.back(), "still here\r\n",
                     Up({"AA00", N(first + kUsers - 1), "still here\r\n"})));
  std::cout << "monitor never reading: dropped after " << rounds << " rounds of " << kUsers
            << " lines; at most " << most_held / 1024 << " KiB held for it\n";
}

TEST_F(Faults, SettingsOfRandomBytesCostOnlyTheirOwnRecords) {
  std::mt19937 random(20261207);
  std::string noise;
  for (int i = 0; i < 64 * 1024; ++i) noise += static_cast<char>(random() % 256);
  folder.Write("Velgate.cfg", StandardConfig() + noise);
  Start();
  ConnectCluster();
  auto user = LoggedInUser("G1ABC", "127.0.0.2");
  EXPECT_TRUE(SentUp(*user, "sh/dx\r\n", Up({"AA00", "2", "sh/dx\r\n"})));
}

TEST_F(Faults, FilesThatCannotBeWrittenAreSaidOnceAndTheRelayGoesOn) {
  for (const char* name : {"error.log", "highwater.dat", "Velgate.cfg.new"})
    std::filesystem::create_directory(folder.File(name));
  folder.Write("Velgate.cfg", StandardConfig());
  listener = this;
  Start();
  ConnectCluster();
  std::vector<Peer> users;
  for (const char* address : {"127.0.0.2", "127.0.0.3", "127.0.0.4"}) {
    users.push_back(LoggedInUser("G1ABC", address));  // each a new highwater mark
  }
  EXPECT_TRUE(SentUp(*users[0], "sh/dx\r\n", Up({"AA00", "2", "sh/dx\r\n"})));
  gateway->CloseByUser();  // the settings cannot be written either
  // Said once each, however many writes failed: error.log cannot be written, highwater.dat (a
  // folder) cannot be read, so it is left alone, and Velgate.cfg cannot be replaced.
  EXPECT_EQ(alerts, 3);
  EXPECT_EQ(LogLines({"<3>save-failed"}).size(), 1u);
  EXPECT_TRUE(gateway->UnsavedAtEnd().starts_with("Velgate.cfg (")) << gateway->UnsavedAtEnd();
  gateway->View().SetListener(nullptr);
}

TEST_F(Faults, ReadOnlySettingsAndMarksAreLeftAsTheyAreAndSaidOnce) {
  namespace fs = std::filesystem;
  const std::string settings = StandardConfig() + "\"Unknown\",1\r\n";
  const std::string mark = "1,\"01-Jan-2026 1200Z\"\r\n";
  folder.Write("Velgate.cfg", settings);
  folder.Write("highwater.dat", mark);
  for (const char* name : {"Velgate.cfg", "highwater.dat"})
    fs::permissions(folder.File(name), fs::perms::owner_read | fs::perms::group_read);
  const auto unchanged = [&] {
    return folder.Read("Velgate.cfg") == settings && folder.Read("highwater.dat") == mark;
  };
  Start();
  ConnectCluster();
  std::vector<Peer> users;
  for (const char* address : {"127.0.0.2", "127.0.0.3", "127.0.0.4"})
    users.push_back(LoggedInUser("G1ABC", address));  // marks 2 and 3 are not stored
  EXPECT_TRUE(unchanged());
  EXPECT_EQ(gateway->Status().unsaved,
            "Velgate.cfg (the file is read-only: the gateway leaves it as it is); "
            "highwater.dat (the file is read-only: the gateway leaves it as it is)");
  gateway->CloseByUser();
  EXPECT_TRUE(unchanged());
  EXPECT_EQ(LogLines({"<3>save-failed"}),
            (Texts{"<3>save-failed file=\"Velgate.cfg\" error=\"the file is read-only: the "
                   "gateway leaves it as it is\"",
                   "<3>save-failed file=\"highwater.dat\" error=\"the file is read-only: the "
                   "gateway leaves it as it is\""}));
  EXPECT_NE(gateway->UnsavedAtEnd(), "");

  // A read-only file that already holds what would be written is no failure.
  fs::permissions(folder.File("Velgate.cfg"), fs::perms::owner_all);
  Start();
  gateway->CloseByUser();
  fs::permissions(folder.File("Velgate.cfg"), fs::perms::owner_read);
  Start();
  gateway->CloseByUser();
  EXPECT_EQ(LogLines({"<3>save-failed file=\"Velgate.cfg\""}), Texts{});
  EXPECT_EQ(gateway->UnsavedAtEnd(), "");
}

}  // namespace
}  // namespace velgate::testing
