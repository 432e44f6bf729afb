#pragma once
// What the operator can do to a running gateway, from the headless console, the control socket
// or a window. Every action runs on the gateway's loop thread.

#include <string_view>
#include <vector>

#include "app/OperatorReports.h"

namespace velgate {

/// The streams a console line may name.
struct StreamRange {
  int first = 0;
  int last = 0;
};

class OperatorActions {
 public:
  /// The streams the operator can type for: FirstStreamIndex .. StreamMax.
  virtual StreamRange ConsoleStreams() const = 0;
  /// The operator's line for stream s, as Enter in its call-sign field sends it; false when the
  /// cluster is not online and nothing was sent.
  virtual bool ConsoleEnter(int s, std::string_view text) = 0;
  /// The confirmed "Disc Cluster" action: the cluster link closes and listens again.
  virtual void DisconnectCluster() = 0;
  /// The operator closes the program and confirms: settings written, then shutdown.
  virtual void CloseByUser() = 0;

  /// Ends stream s as if its user had hung up: the cluster hears AA17.
  virtual ActionResult Kick(int s) = 0;
  /// The lock-out list in force, in its order.
  virtual std::vector<std::string> LockOutList() const = 0;
  /// Adds an entry by the lock-out editor's rules and writes the settings; the text says how
  /// many connected streams it matches (they stay connected).
  virtual ActionResult AddLockOut(std::string_view prefix) = 0;
  /// Removes every entry equal to prefix by the editor's rules and writes the settings.
  virtual ActionResult DeleteLockOut(std::string_view prefix) = 0;
  /// Reads Velgate.cfg again and takes what can change while the gateway runs.
  virtual ReloadReport Reload() = 0;
  /// The gateway's state now.
  virtual GatewayStatus Status() const = 0;
  /// Every connected stream, by stream number.
  virtual std::vector<StreamStatus> ConnectedStreams() const = 0;

 protected:
  ~OperatorActions() = default;
};

}  // namespace velgate
