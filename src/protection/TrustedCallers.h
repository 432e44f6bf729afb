#pragma once
// The trusted ports (the cluster's, the monitor's) take callers only from the addresses their
// allow list names; anyone else is refused at the door.

#include <string>
#include <vector>

#include "base/ErrorLog.h"
#include "base/OperationsLog.h"
#include "platform/TcpSocket.h"

namespace velgate {

/// A trusted port's allow list and how its refusals are told.
struct TrustedPort {
  const std::vector<std::string>& allowed;
  const char* list_name;  ///< its record in Velgate.cfg, "ClusterAllow" or "MonitorAllow"
  const char* place;      ///< where error.log says the refusal happened
  Refusal reason;
};

/// Refuses a caller whose address the list does not allow: closed without a byte, told in
/// error.log and in the operational log. True when it was refused.
bool RefuseUntrusted(const TrustedPort& port, PendingConnection& request, int local_port,
                     ErrorLogFile& error_log, OperationsLog& oplog);

}  // namespace velgate
