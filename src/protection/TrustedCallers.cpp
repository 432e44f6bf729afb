#include "protection/TrustedCallers.h"

#include "protection/LockOuts.h"

namespace velgate {

bool RefuseUntrusted(const TrustedPort& port, PendingConnection& request, int local_port,
                     ErrorLogFile& error_log, OperationsLog& oplog) {
  if (Allowed(port.allowed, request.RemoteHostIP())) return false;
  error_log.Write(port.place, "refused " + request.RemoteHostIP() + ": not in " + port.list_name);
  oplog.Record(oplog::Refused{request.RemoteHostIP(), local_port, port.reason});
  request.Refuse();
  return true;
}

}  // namespace velgate
