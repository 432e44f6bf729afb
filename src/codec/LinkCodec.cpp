#include "codec/LinkCodec.h"

#include <algorithm>

namespace velgate {
namespace {

std::string Number(std::int32_t value) {
  return std::to_string(value);
}

}  // namespace

std::string UpstreamMessage(std::initializer_list<std::string_view> fields) {
  std::size_t size = fields.size() + 1;
  for (std::string_view field : fields) size += field.size();
  std::string message;
  message.reserve(size);
  bool first = true;
  for (std::string_view field : fields) {
    if (!first) message += '^';
    message += field;
    first = false;
  }
  message += kEtx;
  return message;
}

std::string AA00(std::int32_t stream, std::string_view text) {
  return UpstreamMessage({"AA00", Number(stream), text});
}

std::string AA01(std::int32_t first_stream, std::int32_t last_stream) {
  return UpstreamMessage({"AA01", Number(first_stream), Number(last_stream)});
}

std::string AA02(std::int32_t first_stream, std::int32_t last_stream) {
  return UpstreamMessage({"AA02", Number(first_stream), Number(last_stream)});
}

std::string AA03ConnectRequest(std::int32_t stream, std::string_view address,
                               std::string_view listener, std::int32_t connection) {
  return UpstreamMessage(
      {"AA03", "Connect Request", Number(stream), "3", address, listener, Number(connection)});
}

std::string AA03(std::int32_t stream, std::string_view text) {
  return UpstreamMessage({"AA03", Number(stream), text});
}

std::string AA04(std::int32_t stream, std::string_view login_time, bool with_80) {
  if (with_80) return UpstreamMessage({"AA04", Number(stream), login_time, "80"});
  return UpstreamMessage({"AA04", Number(stream), login_time});
}

std::string AA06(std::string_view call, std::int32_t stream, std::string_view host,
                 std::int32_t connection) {
  std::string request = "Outgoing Connect Request to ";
  request += call;
  return UpstreamMessage({"AA06", request, Number(stream), "3", host, "0", Number(connection)});
}

std::string AA17(std::string_view call, std::int32_t stream, std::string_view connection) {
  // The call sign is the caller's text: a "^" in it must not make a field of its own.
  std::string field(call);
  std::replace(field.begin(), field.end(), '^', '_');
  return UpstreamMessage({"AA17", field, Number(stream), connection});
}

std::string AA18() {
  return UpstreamMessage({"AA18", ""});
}

std::string AA38Resync(std::string_view call, std::int32_t stream, std::string_view address,
                       std::string_view colour, std::string_view login_time,
                       std::string_view listener, std::int32_t connection) {
  return UpstreamMessage({"AA38", call, Number(stream), "2", address, colour, login_time, listener,
                          Number(connection)});
}

std::string AA38Outgoing(std::string_view call, std::int32_t stream, std::string_view host) {
  return UpstreamMessage({"AA38", call, Number(stream), "2", host, ""});
}

std::string QrvReply(std::string_view start_time, std::string_view version,
                     std::string_view folder) {
  std::string first = "QRV ";
  first += start_time;
  first += ' ';
  first += version;
  return UpstreamMessage({first, folder});
}

DownstreamSplitter::Kind DownstreamSplitter::Feed(std::string_view block) {
  messages_.clear();
  // The messages of the last block pointed into combined_; a large one's memory goes back.
  if (combined_.capacity() > kKeptCapacity) std::string().swap(combined_);
  // What is held has no Chr(4), so only the new block is searched, and without one the block
  // is appended: every byte is copied a bounded number of times however the data is split.
  const std::size_t eot_in_block = block.rfind(kEot);
  if (eot_in_block == std::string_view::npos) {
    if (holding_.size() + block.size() <= 10) {
      const std::string whole = holding_ + std::string(block);
      if (whole == kGreeting || whole == kReadyWord) {
        holding_.clear();
        return whole == kGreeting ? Kind::kGreeting : Kind::kReady;
      }
    }
    if (holding_.size() + block.size() > kMostHeld) {
      std::string().swap(holding_);
      return Kind::kOverflow;
    }
    holding_.append(block);
    return Kind::kMessages;
  }
  std::string_view data = block;
  if (!holding_.empty()) {
    combined_.assign(holding_);
    combined_.append(block);
    data = combined_;
  }
  const std::size_t last_eot = data.size() - block.size() + eot_in_block;
  std::size_t start = 0;
  while (start <= last_eot) {
    std::size_t end = data.find(kEot, start);
    messages_.push_back(data.substr(start, end - start));
    start = end + 1;
  }
  holding_.assign(data.substr(last_eot + 1));
  if (holding_.capacity() > kKeptCapacity && holding_.size() < kKeptCapacity / 4) {
    holding_.shrink_to_fit();
  }
  return Kind::kMessages;
}

void DownstreamSplitter::Reset() {
  holding_.clear();
  combined_.clear();
  messages_.clear();
}

void SplitFields(std::string_view message, LinkFields& fields) {
  fields.clear();
  if (message.empty()) return;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = message.find(kEtx, start);
    if (end == std::string_view::npos) {
      fields.push_back(message.substr(start));
      return;
    }
    fields.push_back(message.substr(start, end - start));
    start = end + 1;
  }
}

}  // namespace velgate
