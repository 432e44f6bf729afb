#pragma once
// What the operator is told of a running gateway: its state now, its streams, and the outcome
// of an action. Plain data, filled on the gateway's loop thread; the tools format it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Clock.h"

namespace velgate {

/// The outcome of an operator's action: whether it was carried out, and one line that says so.
struct ActionResult {
  bool ok = true;
  std::string text;
};

/// One listening port.
struct ListenerStatus {
  int index = 0;     ///< its index among the listeners, 0 for the cluster and monitor ports
  int port = 0;      ///< the port it listens on (as configured while it does not)
  std::string kind;  ///< "users", "bridge", "cluster", "monitor"
  bool listening = false;
  std::string watchdog;  ///< the watchdog's counter as the indicator shows it; empty: none
};

struct GatewayStatus {
  std::string version;
  DateTime started_utc;
  std::int64_t uptime_s = 0;
  /// The cluster link: "listening", "connected" or "online".
  std::string cluster_state;
  std::string cluster_ip;  ///< the cluster server's address; empty when none is connected
  std::optional<DateTime> cluster_online_since_utc;
  std::int64_t cluster_online_s = 0;
  std::int64_t lines_lost = 0;  ///< users' lines dropped while the cluster was away, since start
  std::int64_t users = 0;       ///< logged in now
  std::int64_t connected = 0;   ///< streams connected now
  std::int64_t session_high = 0;
  std::string session_high_date;
  std::int64_t all_time_high = 0;
  std::string all_time_high_date;
  std::vector<ListenerStatus> listeners;  ///< user and bridge listeners, then cluster, monitor
  std::string monitor_ip;  ///< the monitor client's address; empty when none is attached
  std::int64_t open_files_limit = 0;
  std::int64_t descriptor_room = 0;  ///< about how many more users the descriptors allow
  std::string last_error;            ///< the last error.log line of this run; empty: none
  std::string unsaved;  ///< the files whose last write failed, and why; empty: all saved
};

/// One connected stream.
struct StreamStatus {
  int stream = 0;
  std::string state;  ///< "accepted", "announced", "login-sent", "logged-in", "refused",
                      ///< "connecting"
  std::int32_t connection = 0;
  std::string address;
  std::string call;
  std::string listener;  ///< the port the caller came to; "out" for an outgoing connection
  DateTime connected_utc;
  std::optional<DateTime> logged_in_utc;
  std::int64_t idle_s = 0;  ///< since the user last sent anything
  std::uint64_t bytes_in = 0;
  std::uint64_t bytes_out = 0;
};

/// What a reload of Velgate.cfg did.
struct ReloadReport {
  bool read = false;                 ///< the file was read; false: nothing changed
  std::string error;                 ///< why it was not
  std::vector<std::string> changed;  ///< taken now
  std::vector<std::string> restart;  ///< noticed, and left for the next start
  std::vector<std::string> skipped;  ///< bad records: what they touch stays as it was
  std::vector<std::string> closed;   ///< peers closed because a list no longer allows them
};

}  // namespace velgate
