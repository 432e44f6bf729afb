#include "app/SummaryReport.h"

#include <algorithm>

namespace velgate {

SummaryReport::SummaryReport(TimerQueue& timers, Parts parts)
    : parts_(parts), timer_(timers, kEveryMs, true, [this] { Tick(); }) {}

void SummaryReport::Tick() {
  const std::uint64_t sent = parts_.link.SentMessages();
  const std::uint64_t received = parts_.link.ReceivedMessages();
  const std::int64_t users = parts_.users.Table().LoggedInUsers();
  // The session mark is taken before each caller: the users now may already be above it.
  const std::int64_t highest = std::max<std::int64_t>(users, parts_.marks.SessionHigh);
  parts_.oplog.Record(oplog::Summary{users, highest, sent - sent_before_,
                                     received - received_before_, QueuedBytes()});
  sent_before_ = sent;
  received_before_ = received;
  if (parts_.link.ClusterOnline()) return;
  if (const std::int64_t lost = parts_.users.TakeDiscardedLines(); lost > 0) {
    parts_.oplog.Record(oplog::LinesDiscarded{lost});
  }
}

std::uint64_t SummaryReport::QueuedBytes() {
  // One walk over the table every ten minutes; nothing is counted per message for it.
  std::uint64_t queued = parts_.link.Socket().QueuedBytes() + parts_.monitor.Socket().QueuedBytes();
  StreamTable& table = parts_.users.Table();
  for (int s = 1; s <= table.StreamMax(); ++s) queued += table.Socket(s).QueuedBytes();
  return queued;
}

}  // namespace velgate
