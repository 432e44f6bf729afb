// The monitor client against a real gateway: what its model holds after logins, a follow,
// traffic, flags and hang-ups, and how it finds the gateway again after a restart.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "GatewayFixture.h"
#include "codec/MonitorMessages.h"
#include "viewer/MonitorSession.h"

namespace velgate::testing {
namespace {

using viewer::LinkState;
using viewer::RowState;

class MonitorClientTest : public GatewayFixture {
 protected:
  // Virtual time in steps of the gateway's drain, and real time for the bytes to travel.
  bool Until(const std::function<bool()>& done) {
    for (int i = 0; i < 200; ++i) {
      if (done()) return true;
      loop.AdvanceMs(20);
      loop.RunUntil(Never, std::chrono::milliseconds(3));
    }
    return done();
  }
  void Watch() {
    session.Start();
    ASSERT_TRUE(Until([&] { return !model.Listeners().empty() && model.AllTime().known; }))
        << model.Listeners().size() << " " << model.StatusLine() << " " << model.LastBadMessage();
  }
  RowState StateOf(int s) {
    const viewer::ViewerRow* row = model.Row(s);
    return row ? row->state : RowState::kFree;
  }
  bool Sees(int s, RowState state) {
    return Until([&] { return StateOf(s) == state; });
  }
  std::vector<std::string> Traffic() {
    std::vector<std::string> lines;
    for (const auto& line : model.Traffic())
      lines.push_back(N(line.stream) + "><t"[static_cast<int>(line.kind)] + " " + line.text);
    return lines;
  }

  viewer::MonitorModel model{loop.clock};
  viewer::MonitorSession session{loop.io, loop.timers, model, "127.0.0.1", monitor_port};
};

// A listener that takes the client and reads what it sends, blocks apart: no gateway at all.
class SilentGateway {
 public:
  explicit SilentGateway(int port) : listener_(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int yes = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::listen(listener_, 1);
  }
  ~SilentGateway() { ::close(listener_), ::close(client_); }
  /// What arrived since the last call.
  std::string Read() {
    if (client_ < 0) client_ = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK);
    std::string got;
    char buffer[4096];
    for (ssize_t n; client_ >= 0 && (n = ::read(client_, buffer, sizeof buffer)) > 0;)
      got.append(buffer, static_cast<std::size_t>(n));
    return got;
  }
  void Send(const std::string& bytes) {
    EXPECT_GT(::write(client_, bytes.data(), bytes.size()), 0);
  }

 private:
  int listener_;
  int client_ = -1;
};

TEST_F(MonitorClientTest, AsksForThePictureInBlocksApartAndAgainWhileNoSummaryComes) {
  SilentGateway silent(monitor_port);
  session.Start();
  ASSERT_TRUE(loop.RunUntil([&] { return session.Status().state == LinkState::kConnected; }));
  loop.AdvanceMs(59);
  EXPECT_EQ(silent.Read(), "") << "nothing before the gateway's drain can have seen the client";
  // One block per pause, each as the gateway must read it alone.
  std::vector<std::string> blocks;
  for (int i = 0; i < 3; ++i) {
    loop.AdvanceMs(i == 0 ? 1 : viewer::MonitorSession::kPaceMs);
    loop.RunUntil(Never, std::chrono::milliseconds(20));
    blocks.push_back(silent.Read());
  }
  EXPECT_EQ(blocks, (std::vector<std::string>{"M*^N*^B", "0", ""}));
  // No summary within the check: asked again, and no more once it came.
  loop.AdvanceMs(viewer::MonitorSession::kPictureCheckMs);
  loop.RunUntil(Never, std::chrono::milliseconds(20));
  EXPECT_EQ(silent.Read(), "M*^N*^B");
  silent.Send(monitor_messages::AllTimeHigh(5, "d") + "\x04");
  EXPECT_TRUE(Until([&] { return model.AllTime().known; }));
  loop.AdvanceMs(3 * viewer::MonitorSession::kPictureCheckMs);
  loop.RunUntil(Never, std::chrono::milliseconds(20));
  EXPECT_EQ(silent.Read(), "");
}

TEST_F(MonitorClientTest, FollowsLoginsTrafficAndHangUps) {
  StartOnline();
  Watch();
  EXPECT_EQ(model.Listeners().at(1).port, N(user_port));
  EXPECT_TRUE(model.AllTime().known);

  auto user = ConnectUser("127.0.0.2");
  const int s = LastStream();
  EXPECT_TRUE(Sees(s, RowState::kConnected));
  EXPECT_EQ(model.Row(s)->address, "127.0.0.2");
  user->Send("G0ABC\r\n");
  EXPECT_TRUE(Sees(s, RowState::kLoginSent));
  ClusterSends(Down({"4", N(s), "G0ABC"}));
  EXPECT_TRUE(Sees(s, RowState::kLoggedIn));
  EXPECT_EQ(model.Row(s)->call, "G0ABC");
  EXPECT_EQ(model.Row(s)->tip, Row(s).address_tip);
  EXPECT_EQ(model.LoggedIn(), 1);

  auto other = LoggedInUser("K1XYZ", "127.0.0.3");
  const int t = LastStream();
  EXPECT_TRUE(Sees(t, RowState::kLoggedIn));
  ClusterGot();
  session.Follow(s);
  session.SetFlag(t, true);
  EXPECT_TRUE(Until([&] { return Feed().MonitoredStream == s && Table().At(t).monitor_echo; }));
  EXPECT_FALSE(Table().At(s).monitor_echo) << "the gateway's own flag on a new stream is cleared";
  user->Send("sh/dx\r\n");
  EXPECT_TRUE(ClusterGets(Up({"AA00", N(s), "sh/dx\r\n"})));
  ClusterSends(Down({"0", N(s), "DX de K1TTT: 14025.0 G0ABC\r\n"}) +
               Down({"0", N(t), "Hello K1XYZ\r\n"}));
  EXPECT_TRUE(Until([&] { return model.Traffic().size() == 3; }));
  EXPECT_EQ(Traffic(),
            (std::vector<std::string>{N(s) + "> sh/dx", N(s) + "< DX de K1TTT: 14025.0 G0ABC",
                                      N(t) + "t Hello K1XYZ"}));

  user->Close();
  EXPECT_TRUE(Sees(s, RowState::kEnded));
  EXPECT_EQ(model.ShownRows().size(), 2u) << "an ended row fades";
  loop.AdvanceMs(viewer::MonitorModel::kFadeMs);
  model.DropFaded();
  EXPECT_EQ(model.ShownRows().size(), 1u);
  EXPECT_EQ(model.BadMessages(), 0u);
}

TEST_F(MonitorClientTest, ACrowdOfNewcomersIsUnflaggedInBlocksThatNeverCutACommand) {
  StartOnline({"\"PreLoad\",200"});
  auto first = LoggedInUser("G0ABC", "127.0.0.2");
  const int s = LastStream();
  Watch();
  session.Follow(s);
  session.SetFlag(s, true);
  std::vector<Peer> crowd;
  for (int i = 0; i < 150; ++i) crowd.push_back(ConnectUser("127.0.1." + N(1 + i / 8)));
  // Some 700 bytes of "Nn^": more than one block may carry.
  EXPECT_TRUE(Until([&] {
    for (int t = 1; t <= Table().StreamMax(); ++t)
      if (t != s && Table().At(t).monitor_echo) return false;
    return session.Waiting() == 0;
  }));
  EXPECT_TRUE(Table().At(s).monitor_echo);
  EXPECT_EQ(Feed().MonitoredStream, s) << "no piece of a command was read as a selection";
  EXPECT_FALSE(Feed().FollowNew);
}

TEST_F(MonitorClientTest, FindsTheGatewayAgainAfterARestartWithAGrowingPause) {
  StartOnline();
  auto user = LoggedInUser("G0ABC", "127.0.0.2");
  const int s = LastStream();
  session.Follow(s);
  Watch();
  EXPECT_TRUE(Sees(s, RowState::kLoggedIn)) << "the picture asked for at connect";
  EXPECT_TRUE(Until([&] { return Feed().MonitoredStream == s; })) << "the follow is sent again";
  // The gateway takes one monitor client at a time: a second one is refused and waits.
  viewer::MonitorModel second_model{loop.clock};
  viewer::MonitorSession second{loop.io, loop.timers, second_model, "::1", monitor_port};
  second.Start();
  ASSERT_TRUE(Until([&] { return second.Status().state == LinkState::kWaiting; }));
  EXPECT_TRUE(second.Status().refused) << second.Status().why;
  second.Stop();

  gateway->CloseByProgram();
  gateway.reset();
  ASSERT_TRUE(Until([&] { return session.Status().state == LinkState::kWaiting; }));
  EXPECT_EQ(session.Status().retry_in_s, 1);
  // Nobody listens: each try fails and the pause doubles.
  loop.AdvanceMs(1000);
  ASSERT_TRUE(Until([&] { return session.Status().retry_in_s == 2; }));
  EXPECT_EQ(session.Status().state, LinkState::kWaiting);
  EXPECT_TRUE(session.Status().refused);

  Start();
  loop.AdvanceMs(2000);
  ASSERT_TRUE(Until([&] { return session.Status().state == LinkState::kConnected; }));
  EXPECT_TRUE(Until([&] { return !model.Listeners().empty(); }));
  EXPECT_EQ(model.Row(s), nullptr) << "the old gateway's rows are gone";
  EXPECT_EQ(session.Status().tries, 0u);
}

}  // namespace
}  // namespace velgate::testing
