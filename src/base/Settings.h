#pragma once
// The gateway's settings as Velgate.cfg holds them, and the listener layout derived from them.
// Lists are indexed from 1, as the file's records and the listener indices are; entry 0 is
// unused.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/AddressRules.h"

namespace velgate {

/// A window's position and size in twips.
struct WindowPlacement {
  float top = 0;
  float left = 0;
  float height = 4000;
  float width = 4000;
};

/// What the operator is told when the lock-out list holds an empty entry.
inline constexpr char kEmptyLockOutWarning[] =
    "an empty \"Locked Out\" entry refuses every caller: remove it to let users in";

struct Settings {
  std::int32_t AGWEnabled = 0;
  std::int16_t ClusterPort = 9003;
  /// Port texts of the user listeners, 1-based; after reading, the bridge port follows them.
  std::vector<std::string> UserPorts{"", "7373"};
  std::int32_t UserPortCount = 0;
  std::string AGWPort = "9002";
  std::string MonitorPort = "15555";
  /// The addresses every port listens on, IPv4 or IPv6 each; empty: every address of both.
  std::vector<std::string> ListenAddress;
  std::int16_t PreLoad = 5;
  /// Seconds a user, bridge or cluster connection may idle before TCP keepalive probes it (then
  /// every 30 s, given up after 4): a peer that vanished goes within minutes. 0: off.
  std::int32_t KeepAlive = 120;
  /// Connection requests one address may make on the user ports within RateWindow seconds;
  /// more are refused at the door until the window is over. Either 0: no limit.
  std::int32_t RateLimit = 20;
  std::int32_t RateWindow = 60;
  /// Lock-out address prefixes, 1-based.
  std::vector<std::string> LockOuts{""};
  std::int32_t LockOutCount = 0;
  /// Each entry's first position in the list, so that a caller is tested in time that grows
  /// with its address, not with the list.
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
      return std::hash<std::string_view>{}(text);
    }
  };
  std::unordered_map<std::string, std::int32_t, TextHash, std::equal_to<>> LockOutIndex;
  /// The entries in CIDR form, by network.
  NetworkIndex LockOutNetworks;
  /// Address prefixes allowed on the cluster and monitor ports; empty: any address.
  std::vector<std::string> ClusterAllow;
  std::vector<std::string> MonitorAllow;
  /// The main window's position and size.
  WindowPlacement MainWindow;
  std::int32_t CfgLeft = 0;
  std::int32_t CfgTop = 0;
  std::int32_t LockOutsTop = 0;
  std::int32_t LockOutsLeft = 0;
  std::int32_t LockOutsHeight = 5625;
  std::int32_t LockOutsWidth = 3675;

  // Derived while reading.
  std::int16_t NumListenPorts = 1;
  std::int16_t AGWIndex = 0;
  std::int32_t FirstStreamIndex = 2;
  std::int32_t PortSlotCount = 1;

  /// The port text of user-port entry i (1-based); empty beyond the list.
  const std::string& UserPort(int i) const;
  /// Stores a user-port entry, growing the list as needed.
  void SetUserPort(int i, std::string text);
  /// Appends a lock-out entry.
  void AddLockOut(std::string text);
  /// Empties the lock-out list.
  void ClearLockOuts();
  /// The position (1-based) of the first entry equal to text, or 0.
  std::int32_t LockOutPosition(std::string_view text) const;
  /// Whether an entry of the lock-out list is empty (which refuses every address).
  bool HasEmptyLockOut() const;
};

}  // namespace velgate
