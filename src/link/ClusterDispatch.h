#pragma once
// What the cluster's coded messages do to the stream they name (CurrentStream):
//   0 text (for the current connection only)   2 a note (port field tip)   3 one line
//   4, 5, 6 login confirmed (three kinds, told apart by the port field's colour)
//   7 login refused   8 close the stream   1 and others: nothing beyond the monitor's copies

#include "base/OperationsLog.h"
#include "codec/LinkCodec.h"
#include "model/MonitorFeed.h"
#include "model/ViewModel.h"
#include "platform/Clock.h"
#include "streams/ClusterUplink.h"
#include "streams/UserStreams.h"

namespace velgate {

class ClusterDispatch {
 public:
  /// uplink: where the login acknowledgement goes, straight.
  ClusterDispatch(UserStreams& streams, ClusterUplink& uplink, ViewModel& view,
                  MonitorFeed& monitor, const Clock& clock, OperationsLog& oplog);

  /// Copies the message to the monitor, then carries out code for stream s.
  void Dispatch(int code, int s, const LinkFields& fields, int& marker);

 private:
  void CopyToMonitor(int s, const LinkFields& fields, int& marker);
  void DeliverText(int s, const LinkFields& fields, int& marker);
  void ConfirmLogin(int s, int code, const LinkFields& fields);
  void CloseOrdered(int s, const LinkFields& fields);
  void SendRowToMonitor(int s);
  void TellLoggedIn(int s);

  UserStreams& streams_;
  StreamTable& table_;
  ClusterUplink& uplink_;
  ViewModel& view_;
  MonitorFeed& monitor_;
  const Clock& clock_;
  OperationsLog& oplog_;
};

}  // namespace velgate
