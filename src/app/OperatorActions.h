#pragma once
// What the operator can do to a running gateway, from the headless console or a window. Every
// action runs on the gateway's loop thread.

#include <string_view>

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
  /// The operator's line for stream s, as Enter in its call-sign field sends it.
  virtual void ConsoleEnter(int s, std::string_view text) = 0;
  /// The confirmed "Disc Cluster" action: the cluster link closes and listens again.
  virtual void DisconnectCluster() = 0;
  /// The operator closes the program and confirms: settings written, then shutdown.
  virtual void CloseByUser() = 0;

 protected:
  ~OperatorActions() = default;
};

}  // namespace velgate
