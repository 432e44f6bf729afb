#pragma once
// Keeps users off the descriptors the cluster link, the monitor client and the gateway's files
// need: user listeners close a caller that would eat into the reserve. The operational log has
// each caller refused; the operator's console and error.log hear of it at most once a minute,
// with the number refused since.

#include <cstdint>
#include <optional>
#include <string>

#include "base/ErrorLog.h"
#include "base/OperationsLog.h"
#include "model/ViewModel.h"
#include "platform/Clock.h"
#include "platform/DescriptorReserve.h"
#include "platform/TcpSocket.h"

namespace velgate {

class DescriptorGuard {
 public:
  static constexpr std::int64_t kReportEveryMs = 60000;

  DescriptorGuard(const Clock& clock, ErrorLogFile& error_log, ViewModel& view,
                  OperationsLog& oplog);

  /// A listener of users keeps off the reserve from now on.
  void Guard(TcpSocket& listener);
  /// Start-up: the operator's log says how many users the gateway can hold.
  void ReportCapacity();
  /// The reserve, for a caller that knows the process's limit changed.
  DescriptorReserve& Reserve() { return reserve_; }
  const DescriptorReserve& Reserve() const { return reserve_; }
  /// About how many more users the descriptors below the reserve allow now.
  int Room() const;
  /// Callers refused since start.
  std::int64_t Refused() const { return refused_; }

 private:
  void CallerRefused(const std::string& address, int port);

  const Clock& clock_;
  ErrorLogFile& error_log_;
  ViewModel& view_;
  OperationsLog& oplog_;
  DescriptorReserve reserve_;
  std::int64_t refused_ = 0;
  std::int64_t unreported_ = 0;
  std::optional<std::int64_t> last_report_ms_;
};

}  // namespace velgate
