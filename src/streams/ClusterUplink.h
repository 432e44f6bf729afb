#pragma once
// What the streams need of the cluster link: the link implements it and sits above them.

#include <string_view>

namespace velgate {

class ClusterUplink {
 public:
  /// Sends one upstream message while the link is online; drops it otherwise (false).
  virtual bool SendToCluster(std::string_view message) = 0;
  /// Sends straight to the cluster's socket, online or not; false when it is not connected.
  virtual bool SendStraight(std::string_view message) = 0;
  /// Whether the cluster server has sent its ready word on the current link.
  virtual bool ClusterOnline() const = 0;

 protected:
  ~ClusterUplink() = default;
};

/// The uplink of streams that have no cluster link: always offline, every message dropped.
class NoUplink final : public ClusterUplink {
 public:
  bool SendToCluster(std::string_view) override { return false; }
  bool SendStraight(std::string_view) override { return false; }
  bool ClusterOnline() const override { return false; }
};

}  // namespace velgate
