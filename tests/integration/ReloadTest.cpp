// Reload: Velgate.cfg read again while users, the cluster server and a monitor client stay on.

#include "ControlFixture.h"

namespace velgate::testing {
namespace {

class Reload : public ControlFixture {
 protected:
  Peer ConnectMonitor() {
    auto client = std::make_unique<TestPeer>(monitor_port);
    EXPECT_TRUE(loop.RunUntil(
        [&] { return gateway->Monitor().Socket().State() == SocketState::kConnected; }));
    return client;
  }
  /// The ports as the gateway runs on them, the trusted ports open to the prefixes given.
  std::string Records(std::initializer_list<std::string> lines,
                      const std::string& cluster_allow = "127.",
                      const std::string& monitor_allow = "127.") const {
    return ConfigLines({"\"ClusterPort\"," + N(cluster_port), PortRecord("UserPort", user_port),
                        PortRecord("AGWport", bridge_port), PortRecord("MonitorPort", monitor_port),
                        "\"ClusterAllow\",\"" + cluster_allow + "\"",
                        "\"MonitorAllow\",\"" + monitor_allow + "\""}) +
           ConfigLines(lines);
  }
};

TEST_F(Reload, FiftyUsersTheClusterAndTheMonitorStayWhileTheNewListsTakeHold) {
  StartOnline();
  OpenControl();
  std::vector<Peer> users;
  for (int i = 0; i < 50; ++i) users.push_back(ConnectUser("127.0.0." + N(10 + i / 9)));
  const int last_user = LastStream();
  Peer monitor = ConnectMonitor();
  // A nuisance caller is locked out while running; the file does not know it yet.
  Peer nuisance = ConnectUser("127.0.0.66");
  nuisance->Send("TEAMLUC\r\n");
  ASSERT_TRUE(loop.RunUntil([&] { return CurrentLockOuts() == Texts{"127.0.0.66"}; }));
  ClusterGot();
  LogLines();

  folder.Write("Velgate.cfg", Records({"\"Locked Out\",\"127.0.0.77\"", "\"PreLoad\",40",
                                       PortRecord("UserPort", second_user_port)},
                                      "127.", "10.0.0."));
  EXPECT_EQ(Ask("reload"),
            "changed: LockOuts: 1 added, 0 removed (2 entries)\n"
            "changed: MonitorAllow: 1 added, 1 removed (1 entry)\n"
            "changed: PreLoad 40 (was 5)\n"
            "restart: UserPort " +
                N(second_user_port) +
                " added: takes effect at restart\n"
                "closed: the monitor client 127.0.0.1: not in MonitorAllow\nok\n");
  EXPECT_TRUE(WaitClosed(*monitor));
  EXPECT_EQ(LogLines({"<6>monitor dropped", "<6>settings", "<4>cluster dropped", "<6>user ended"}),
            (Texts{"<6>monitor dropped ip=127.0.0.1 reason=not-allowed",
                   "<6>settings reloaded changed=LockOuts,MonitorAllow,PreLoad restart=UserPort "
                   "skipped=0 closed=monitor"}));
  EXPECT_EQ(CurrentLockOuts(), (Texts{"127.0.0.77", "127.0.0.66"}));
  Settle();
  for (Peer& user : users) EXPECT_FALSE((user->Pump(), user->Closed()));
  EXPECT_TRUE(SentUp(*users.back(), "G0ABC\r\n", Up({"AA03", N(last_user), "G0ABC"})));
  // The new lock-out refuses the next caller from it; the new port waits for a restart.
  Peer locked = ConnectUser("127.0.0.77");
  EXPECT_EQ(LogLines({"<4>refused"}),
            Texts{"<4>refused ip=127.0.0.77 port=" + N(user_port) + " reason=locked-out"});
  EXPECT_FALSE(PortAnswers(second_user_port));

  // What waits for the restart is written back with the rest, not lost.
  EXPECT_TRUE(Ask("quit").ends_with("ok\n"));
  ASSERT_TRUE(loop.RunUntil([&] { return shut_down; }));
  const std::string written = folder.Read("Velgate.cfg").value_or("");
  for (const std::string& record :
       Texts{PortRecord("UserPort", second_user_port), std::string("\"Locked Out\",\"127.0.0.66\""),
             std::string("\"MonitorAllow\",\"10.0.0.\""), std::string("\"PreLoad\",40")})
    EXPECT_TRUE(Has(written, record)) << record << "\n" << written;
}

TEST_F(Reload, BadRecordsCostOnlyWhatTheyTouchAndAnUnreadableFileChangesNothing) {
  StartOnline();
  OpenControl();
  folder.Write("Velgate.cfg", Records({"\"PreLoad\",\"lots\"", "\"ClusterPort\",99999",
                                       "\"Locked Out\",\"192.0.2.\"", "\"ClusterAllow\",\"10.\""}));
  const std::string reply = Ask("reload");
  EXPECT_TRUE(
      reply.starts_with("changed: LockOuts: 1 added, 0 removed (1 entry)\n"
                        "changed: ClusterAllow: 1 added, 0 removed (2 entries)\n"
                        "skipped: \"PreLoad\",lots ("))
      << reply;
  EXPECT_TRUE(Has(reply, "\nskipped: \"ClusterPort\",99999 (")) << reply;
  EXPECT_TRUE(reply.ends_with("error: 2 bad record(s) skipped: what they touch stays as it was\n"));
  EXPECT_EQ(gateway->CurrentSettings().PreLoad, 5);
  EXPECT_EQ(CurrentLockOuts(), Texts{"192.0.2."});
  EXPECT_EQ(LogLines({"<4>settings"}), Texts{"<4>settings reloaded changed=LockOuts,ClusterAllow "
                                             "restart=- skipped=2 closed=-"});
  EXPECT_TRUE(StillConnected(*cluster));

  // A list that no longer allows the connected cluster server closes it; a larger PreLoad
  // prepares its streams at once.
  folder.Write("Velgate.cfg", Records({"\"PreLoad\",30"}, "10."));
  EXPECT_EQ(Ask("json reload"),
            "{\"ok\":true,\"changed\":[\"LockOuts: 0 added, 1 removed (0 entries)\","
            "\"ClusterAllow: 0 added, 1 removed (1 entry)\",\"PreLoad 30 (was 5)\"],"
            "\"restart\":[],\"skipped\":[],\"closed\":[\"the cluster server: not in "
            "ClusterAllow\"]}\n");
  EXPECT_TRUE(WaitClosed(*cluster));
  EXPECT_EQ(Table().StreamMax(), 30);
  EXPECT_EQ(LogLines({"<4>cluster dropped"}), Texts{"<4>cluster dropped reason=not-allowed"});

  const Texts lock_outs = CurrentLockOuts();
  std::filesystem::remove(folder.File("Velgate.cfg"));
  EXPECT_EQ(Ask("reload"), "error: Velgate.cfg does not exist: nothing changed\n");
  std::filesystem::create_directory(folder.File("Velgate.cfg"));
  const std::string unreadable = Ask("reload");
  EXPECT_TRUE(unreadable.starts_with("error: Velgate.cfg cannot be read (")) << unreadable;
  EXPECT_TRUE(unreadable.ends_with("): nothing changed\n"));
  EXPECT_EQ(CurrentLockOuts(), lock_outs);
  EXPECT_EQ(LogLines({"<4>settings"}).size(), 2u);
}

}  // namespace
}  // namespace velgate::testing
