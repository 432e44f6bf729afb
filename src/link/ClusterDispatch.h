#pragma once
// What the cluster's coded messages do to the stream they name (CurrentStream):
//   0 text (for the current connection only)   2 a note (port field tip)   3 one line
//   4, 5, 6 login confirmed (three kinds, told apart by the port field's colour)
//   7 login refused   8 close the stream   1 and others: nothing beyond the monitor's copies

#include "base/ErrorLog.h"
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
                  MonitorFeed& monitor, const Clock& clock, OperationsLog& oplog,
                  ErrorLogFile& error_log);

  /// Copies the message to the monitor, then carries out code for stream s. A login answer
  /// (codes 4 to 7) is carried out only for an occupant that may have asked for it: one that
  /// sent a login line, is logged in, or is an outgoing connection; any other is dropped and
  /// logged, so a late answer never logs in the next caller on the stream.
  void Dispatch(int code, int s, const LinkFields& fields, int& marker);

 private:
  bool AwaitsLoginAnswer(int s) const;
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
  ErrorLogFile& error_log_;
};

}  // namespace velgate
