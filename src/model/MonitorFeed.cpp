#include "model/MonitorFeed.h"

#include "platform/NumberText.h"

namespace velgate {

MonitorFeed::MonitorFeed(ErrorLogFile& error_log)
    : error_log_(error_log), ring_(static_cast<std::size_t>(kInitialBufferMax) + 1) {}

void MonitorFeed::SendToMonitor(std::string_view text) {
  if (!Storing()) return;
  std::string& slot = ring_[static_cast<std::size_t>(StorePointer)];
  if (!slot.empty() || queued_bytes_ + text.size() + 1 > kMaxQueuedBytes) {
    error_log_.Write("SendToMonitor", " Sendbuffer overflow " + PlainNumber(StorePointer) + " " +
                                          PlainNumber(BufferMax));
    if (BufferMax < kLargestBufferMax) BufferMax += 1000;
    Clear();
    return;
  }
  slot.reserve(text.size() + 1);
  slot.assign(text);
  slot += '\x04';
  queued_bytes_ += slot.size();
  StorePointer = StorePointer + 1 > BufferMax ? 0 : StorePointer + 1;
}

void MonitorFeed::Clear() {
  StorePointer = 0;
  SendPointer = 0;
  queued_bytes_ = 0;
  // A fresh ring: no slot keeps the memory of a large message.
  std::vector<std::string>(static_cast<std::size_t>(BufferMax) + 1).swap(ring_);
}

bool MonitorFeed::TakeNext(std::string& out) {
  std::string& slot = ring_[static_cast<std::size_t>(SendPointer)];
  if (slot.empty()) return false;
  // The message's memory leaves the ring with it (a moved-to string may hand its old buffer
  // back to the source, so the slot is swapped with a fresh one).
  out = std::move(slot);
  std::string().swap(slot);
  queued_bytes_ -= out.size();
  SendPointer = SendPointer + 1 > BufferMax ? 0 : SendPointer + 1;
  return true;
}

}  // namespace velgate
