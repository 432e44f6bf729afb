#pragma once
// One stream: its socket and everything the gateway remembers about the connection on it.
//
//   accepted (0) ──> announced (2) ──login line──> login sent (3) ──confirmed──> logged in (7)
//        │                                              ^   │
//        └── offline notice: stays 0                    └───┘ login refused (code 7)
//   refused (9): a locked-out address or a nuisance caller; its input is ignored

#include <cstdint>
#include <memory>
#include <string>

#include "codec/TelnetFilter.h"
#include "platform/TcpSocket.h"
#include "platform/TimerQueue.h"

namespace velgate {

enum class StreamState : std::int32_t {
  kAccepted = 0,   ///< a slot just taken; the cluster has not been told (offline, or locked out)
  kAnnounced = 2,  ///< the cluster knows the caller; the first line will be the login line
  kLoginSent = 3,  ///< the login line went up; waiting for the cluster's answer
  kLoggedIn = 7,   ///< the cluster confirmed the login
  kRefused = 9,    ///< locked out or a nuisance caller: input ignored, ended after 30 minutes
};

/// Whether a stream in state is still on its way to a login (its timeout is 5 minutes).
inline bool AwaitingLogin(StreamState state) {
  return state == StreamState::kAccepted || state == StreamState::kAnnounced ||
         state == StreamState::kLoginSent;
}

struct Stream {
  /// The stream's socket (one of VelgateIn).
  std::unique_ptr<TcpSocket> socket;
  StreamState state = StreamState::kAccepted;
  /// The connection number the cluster knows this occupant by (StreamConnID); 0 when none.
  std::int32_t connection = 0;
  /// What the caller counts by (IpAddress::CountKey); kNoCountKey once the stream has ended.
  std::uint64_t address_key = IpAddress::kNoCountKey;
  /// When the occupant connected, in steady seconds (the operator's list of streams).
  std::uint32_t connected_s = 0;
  /// Input held until its line end arrives (StreamInputHolding).
  std::string held_input;
  /// Input is assembled into lines; a raw stream sends every block as it comes.
  bool line_mode = false;
  /// The caller came through the bridge program.
  bool is_bridge = false;
  /// A caller admitted on a listener whose end the operational log has yet to tell.
  bool end_untold = false;
  /// The monitor client gets traces of this stream's output (StreamMonitorEcho).
  bool monitor_echo = false;
  /// Login-timer ticks since the caller connected (StreamIdleTicks).
  std::int32_t idle_ticks = 0;
  /// Where the telnet command filter stands between two blocks.
  TelnetFilterState telnet;
  /// This occupant has sent the cluster a login line (AA03), so a login answer may be its own.
  bool login_asked = false;
  /// When the user last sent anything, in steady seconds.
  std::uint32_t active_s = 0;
  /// When the cluster confirmed the login, in steady seconds; read only while logged in.
  std::uint32_t logged_in_s = 0;
  /// The login timeout's 5-second timer (tmrDisconnect).
  Timer login_timer;
};

}  // namespace velgate
