#pragma once
// The monitor client's connection to the gateway's monitor port: connects (names and IPv6
// too), asks for the whole picture, feeds what arrives into the model, sends the operator's
// commands, and when the gateway goes away tries again with a growing pause.
//
//   connecting --connected--> connected --closed or failed--> waiting --pause over--> connecting
//   connecting --refused, failed or no answer in kConnectTimeoutMs--> waiting
//
// The gateway reads each block it receives as one command list with no terminator: any number
// of M and N commands, then at most one "B", "A" or stream number, which must end the block. So
// commands wait in a queue and leave one block per kPaceMs, a block holding at most one of those
// last commands, after the flag commands that waited with it.

#include <cstdint>
#include <deque>
#include <string>

#include "platform/TcpSocket.h"
#include "platform/TimerQueue.h"
#include "viewer/MonitorModel.h"
#include "viewer/ViewerActions.h"

namespace velgate::viewer {

enum class LinkState { kConnecting, kConnected, kWaiting };

/// The link to the gateway as the screen tells it.
struct LinkStatus {
  LinkState state = LinkState::kConnecting;
  std::string why;          ///< why the last connection ended or failed
  bool refused = false;     ///< nobody took the last try: no gateway, or another client on it
  int retry_in_s = 0;       ///< while waiting: the pause before the next try
  std::uint32_t tries = 0;  ///< connections tried since the last one that held
};

/// Hears the link's changes.
class SessionEvents {
 public:
  virtual void LinkChanged(const LinkStatus& status) = 0;

 protected:
  ~SessionEvents() = default;
};

class MonitorSession final : public ViewerActions, private TcpSocketEvents {
 public:
  static constexpr std::int64_t kPaceMs = 60;
  static constexpr std::int64_t kConnectTimeoutMs = 10000;
  /// How long after connecting the summary may take before the picture is asked for again.
  static constexpr std::int64_t kPictureCheckMs = 1000;
  static constexpr int kFirstPauseS = 1;
  static constexpr int kLongestPauseS = 30;
  static constexpr std::size_t kMostWaitingBlocks = 8;
  /// A block fits one TCP segment on any path (the smallest MSS is 536).
  static constexpr std::size_t kMostBlockBytes = 500;
  /// Flag commands waiting beyond this are replaced by "unflag all, flag mine again".
  static constexpr std::size_t kMostBacklog = 4096;

  MonitorSession(asio::io_context& io, TimerQueue& timers, MonitorModel& model, std::string host,
                 int port);
  MonitorSession(const MonitorSession&) = delete;
  MonitorSession& operator=(const MonitorSession&) = delete;

  void SetEvents(SessionEvents* events) { events_ = events; }
  /// Makes the first connection.
  void Start();
  /// Closes the connection for good.
  void Stop();

  /// Follows stream s: its copies arrive from now on (0: none).
  void Follow(int s) override;
  /// Follows each new caller's stream.
  void FollowEachNew() override;
  /// Flags or unflags stream s for traces of its output.
  void SetFlag(int s, bool on) override;
  /// Unflags every stream.
  void ClearFlags() override;
  /// Asks for the summary and every row again.
  void AskEverything() override;
  /// Turns the gateway's feed of changes and copies on or off.
  void SetFeed(bool on) override;
  bool FeedOn() const override { return feed_on_; }
  void ClearTraffic() override { model_.ClearTraffic(); }

  const LinkStatus& Status() const { return status_; }
  /// host:port, with an IPv6 host in brackets.
  const std::string& Target() const { return target_; }
  /// Blocks waiting to be sent.
  std::size_t Waiting() const { return last_commands_.size() + (flag_commands_.empty() ? 0 : 1); }

 private:
  void OnConnectionRequest(int, PendingConnection&) override {}
  void OnDataArrival(int index, std::string_view data) override;
  void OnConnect(int index) override;
  void OnClose(int index) override;
  void OnError(int index, const RunTimeError& error) override;

  void Connect();
  void Lost(const std::string& why);
  void SetState(LinkState state);
  void SendNextBlock();
  void SendSoon();
  void Last(std::string command);
  void QuietNewcomers();
  void AskForThePicture();
  void CheckThePicture();
  std::string FlagsAgain() const;

  MonitorModel& model_;
  std::string host_;
  int port_;
  std::string target_;
  TcpSocket socket_;
  SessionEvents* events_ = nullptr;
  LinkStatus status_;
  int pause_s_ = kFirstPauseS;
  bool feed_on_ = true;
  bool stopped_ = false;
  std::string flag_commands_;
  std::deque<std::string> last_commands_;
  Timer pace_;
  Timer retry_;
  Timer picture_check_;
  Timer connect_deadline_;
};

}  // namespace velgate::viewer
