#pragma once
// The operational log: what happens to the gateway as structured events (start-up, the cluster
// link, the monitor client, users, refused callers, the ten-minute summary). The parts record
// them here; the program's sink turns them into lines on standard error (OperationsLine.h).
// Nothing in the relay counts per message here: the parts count, the summary reads the counts.

#include <cstdint>
#include <string>
#include <variant>

namespace velgate {

/// Each line's priority, as journald reads it from the line's start.
enum class LogPriority { kError = 3, kWarning = 4, kInfo = 6 };

/// What a listening port is for.
enum class PortRole { kCluster, kUsers, kBridge, kMonitor };
/// Why a caller was turned away.
enum class Refusal {
  kPerAddressLimit,
  kLockedOut,
  kNuisanceWeb,
  kNuisanceLogin,
  kClusterAllow,
  kMonitorAllow,
  kDescriptorReserve,
  kRate,  ///< the address asked for too many connections too fast
};
/// Why the cluster link or the monitor client went.
enum class DropReason { kClosed, kFailed, kQueueCap, kGreetingTimeout, kOperator, kNotAllowed };
/// How a user's stream ended.
enum class StreamEnding {
  kHungUp,          ///< the user closed the connection
  kLoginTimeout,    ///< no login within 5 minutes
  kRefusedTimeout,  ///< a refused caller's 30 minutes ran out
  kLineTooLong,     ///< held text without a line end passed its limit
  kFailed,          ///< the socket failed
  kQueueCap,        ///< the user stopped reading and the send queue reached its cap
  kClusterClosed,   ///< the cluster ordered the close
  kOperator,        ///< the operator ended it
};

namespace oplog {

struct Starting {
  std::string version;
  std::string folder;
  std::int64_t open_files = 0;
};
struct Listening {
  int port = 0;
  PortRole role = PortRole::kUsers;
};
struct ListenFailed {
  std::string port;  ///< as configured: it may not even be a number
  PortRole role = PortRole::kUsers;
  std::string error;
};
/// The listeners opened on IPv4 alone: the machine has no IPv6.
struct ListenIPv4Only {
  std::string error;
};
struct ClusterConnected {
  std::string ip;
};
struct ClusterOnline {
  std::int64_t streams = 0;  ///< streams in the resync list
};
struct ClusterDropped {
  DropReason reason = DropReason::kClosed;
};
struct LinesDiscarded {
  std::int64_t lines = 0;  ///< users' lines dropped while the cluster was not online
};
struct MonitorAttached {
  std::string ip;
};
struct MonitorDropped {
  std::string ip;
  DropReason reason = DropReason::kClosed;
};
struct UserLoggedIn {
  int stream = 0;
  std::string call;
  std::string ip;
  int port = 0;  ///< the listener's port
};
struct UserEnded {
  int stream = 0;
  std::string call;
  StreamEnding how = StreamEnding::kHungUp;
};
struct Refused {
  std::string ip;
  int port = 0;  ///< the port the caller came to
  Refusal reason = Refusal::kPerAddressLimit;
};
/// An address's spell of rate refusals is over: how many requests it had refused.
struct RateSpellEnded {
  std::string ip;
  std::int64_t refused = 0;
};
struct ListenerRecycled {
  int port = 0;
};
struct Summary {
  std::int64_t users = 0;
  std::int64_t highest = 0;
  std::uint64_t to_cluster = 0;    ///< messages since the last summary
  std::uint64_t from_cluster = 0;  ///< messages since the last summary
  std::uint64_t queued_bytes = 0;
};
struct Reloaded {
  std::string changed;       ///< the settings taken, comma-separated; empty: none
  std::string restart;       ///< the settings left for the next start
  std::int64_t skipped = 0;  ///< bad records
  std::string closed;        ///< "cluster", "monitor": peers the new lists no longer allow
};
struct ReloadFailed {
  std::string error;
};
struct ControlListening {
  std::string path;
};
struct ControlFailed {
  std::string path;
  std::string error;
};
/// A caller on the control socket turned away.
struct ControlRefused {
  std::int64_t uid = 0;
  std::int64_t pid = 0;
  bool too_many = false;  ///< the most clients were connected; else its credentials
};
/// A control command that changes the gateway, for the record, and whether it was done.
struct ControlCommand {
  std::string command;
  std::int64_t uid = 0;
  bool ok = true;
};
/// A file the gateway keeps could not be written: told once until it is written again.
struct SaveFailed {
  std::string file;
  std::string error;
};
struct Stopping {
  std::string signal;  ///< "SIGTERM", "SIGINT"; empty when no signal asked
  std::string by;      ///< without a signal: "operator" or "cluster"
};

using Event = std::variant<Starting, Listening, ListenFailed, ListenIPv4Only, ClusterConnected,
                           ClusterOnline, ClusterDropped, LinesDiscarded, MonitorAttached,
                           MonitorDropped, UserLoggedIn, UserEnded, Refused, RateSpellEnded,
                           ListenerRecycled, Summary, Reloaded, ReloadFailed, ControlListening,
                           ControlFailed, ControlRefused, ControlCommand, SaveFailed, Stopping>;

}  // namespace oplog

/// Where the events go: the program's standard error, a test's capture.
class OperationsSink {
 public:
  virtual void Record(const oplog::Event& event) = 0;

 protected:
  ~OperationsSink() = default;
};

/// What the parts record into; the events go nowhere until a sink is set.
class OperationsLog {
 public:
  /// Records one event.
  void Record(const oplog::Event& event) {
    if (sink_) sink_->Record(event);
  }
  /// The sink that hears every event from now on; may be null.
  void SetSink(OperationsSink* sink) { sink_ = sink; }

 private:
  OperationsSink* sink_ = nullptr;
};

}  // namespace velgate
