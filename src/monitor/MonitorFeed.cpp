#include "monitor/MonitorFeed.h"

#include "platform/NumberText.h"

namespace velgate {
namespace {

void AppendField(std::string& row, std::string_view field) {
  row += '^';
  row += field;
}

}  // namespace

MonitorFeed::MonitorFeed(const ViewModel& view, ErrorLogFile& error_log)
    : view_(view), error_log_(error_log), ring_(static_cast<std::size_t>(kInitialBufferMax) + 1) {}

void MonitorFeed::SendToMonitor(std::string_view text) {
  if (SockState != 7) return;
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

void MonitorFeed::SendAll(std::string_view code, int s) {
  if (SockState != 7) return;
  const StatusRow& row = view_.Row(s);
  std::string message(code);
  AppendField(message, PlainNumber(s));
  AppendField(message, "0");
  AppendField(message, row.address.text);
  AppendField(message, PlainNumber(row.address.colour));
  AppendField(message, row.port.text);
  AppendField(message, PlainNumber(row.port.colour));
  AppendField(message, row.call.text);
  AppendField(message, PlainNumber(row.call.colour));
  AppendField(message, "0");
  AppendField(message, row.address.tip);
  SendToMonitor(message);
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
