#include "protection/DescriptorGuard.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <string>

namespace velgate {

DescriptorGuard::DescriptorGuard(const Clock& clock, ErrorLogFile& error_log, ViewModel& view,
                                 OperationsLog& oplog)
    : clock_(clock), error_log_(error_log), view_(view), oplog_(oplog) {}

void DescriptorGuard::Guard(TcpSocket& listener) {
  listener.GuardDescriptors(
      reserve_, [this](const std::string& address, int port) { CallerRefused(address, port); });
}

int DescriptorGuard::Room() const {
  // Descriptors are handed out lowest first: the lowest free one counts those in use.
  const int in_use = ::fcntl(0, F_DUPFD_CLOEXEC, 0);
  if (in_use >= 0) ::close(in_use);
  return std::max(reserve_.Limit() - DescriptorReserve::kReserved - std::max(in_use, 0), 0);
}

void DescriptorGuard::ReportCapacity() {
  const int room = Room();
  view_.Report("open files: limit " + std::to_string(reserve_.Limit()) + ", " +
               std::to_string(DescriptorReserve::kReserved) +
               " kept for the cluster link, the monitor client and files: room for about " +
               std::to_string(room) + " users");
}

void DescriptorGuard::CallerRefused(const std::string& address, int port) {
  oplog_.Record(oplog::Refused{address, port, Refusal::kDescriptorReserve});
  ++refused_;
  ++unreported_;
  const std::int64_t now = clock_.SteadyMs();
  if (last_report_ms_ && now - *last_report_ms_ < kReportEveryMs) return;
  last_report_ms_ = now;
  const std::string text = std::to_string(unreported_) +
                           " caller(s) refused: the descriptor reserve is reached (open-files "
                           "limit " +
                           std::to_string(reserve_.Limit()) + ")";
  unreported_ = 0;
  error_log_.Write("VelgateIn_ConnectionRequest", text);
  view_.Report("warning: " + text);
}

}  // namespace velgate
