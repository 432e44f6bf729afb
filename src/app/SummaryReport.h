#pragma once
// The operational log's summary, every ten minutes: users logged in, the session's highest,
// messages each way since the last summary, bytes waiting in send queues. While the cluster is
// not online it also tells how many users' lines were lost since the last telling.

#include <cstdint>

#include "base/OperationsLog.h"
#include "link/ClusterLink.h"
#include "model/HighwaterMarks.h"
#include "monitor/MonitorPort.h"
#include "platform/TimerQueue.h"
#include "streams/UserStreams.h"

namespace velgate {

class SummaryReport {
 public:
  static constexpr std::int64_t kEveryMs = 10 * 60 * 1000;

  /// What the summary reads; every part outlives it.
  struct Parts {
    OperationsLog& oplog;
    UserStreams& users;
    ClusterLink& link;
    MonitorPort& monitor;
    const HighwaterMarks& marks;
  };

  SummaryReport(TimerQueue& timers, Parts parts);

  /// No more summaries (shutdown).
  void Stop() { timer_.SetEnabled(false); }

 private:
  void Tick();
  std::uint64_t QueuedBytes();

  Parts parts_;
  Timer timer_;
  std::uint64_t sent_before_ = 0;
  std::uint64_t received_before_ = 0;
};

}  // namespace velgate
