#include "model/MonitorFeed.h"

#include "platform/NumberText.h"

namespace velgate {

MonitorFeed::MonitorFeed(ErrorLogFile& error_log)
    : error_log_(error_log), ring_(static_cast<std::size_t>(kInitialBufferMax) + 1) {}

void MonitorFeed::SendToMonitor(std::string_view text) {
  if (!Storing()) return;
  std::string& slot = ring_[static_cast<std::size_t>(StorePointer)];
  if (!slot.empty()) {
    error_log_.Write("SendToMonitor", " Sendbuffer overflow " + PlainNumber(StorePointer) + " " +
                                          PlainNumber(BufferMax));
    BufferMax += 1000;
    StorePointer = 0;
    SendPointer = 0;
    ring_.assign(static_cast<std::size_t>(BufferMax) + 1, std::string());
    return;
  }
  slot.reserve(text.size() + 1);
  slot.assign(text);
  slot += '\x04';
  StorePointer = StorePointer + 1 > BufferMax ? 0 : StorePointer + 1;
}

bool MonitorFeed::TakeNext(std::string& out) {
  std::string& slot = ring_[static_cast<std::size_t>(SendPointer)];
  if (slot.empty()) return false;
  out.swap(slot);
  slot.clear();
  SendPointer = SendPointer + 1 > BufferMax ? 0 : SendPointer + 1;
  return true;
}

}  // namespace velgate
