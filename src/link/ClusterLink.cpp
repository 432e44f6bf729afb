#include "link/ClusterLink.h"

#include <optional>

#include "base/Dates.h"
#include "base/Version.h"
#include "platform/NumberText.h"
#include "protection/LockOuts.h"
#include "protection/TrustedCallers.h"

namespace velgate {
namespace {

const char* ColourWord(Colour port_colour) {
  switch (port_colour) {
    case colours::kGreen:
      return "green";
    case colours::kCyan:
      return "cyan";
    case colours::kYellow:
      return "yellow";
    default:
      return "white";
  }
}

}  // namespace

ClusterLink::ClusterLink(asio::io_context& io, TimerQueue& timers, UserStreams& streams,
                         Parts parts, std::function<void()> shutdown_ordered)
    : streams_(streams),
      table_(streams.Table()),
      view_(parts.view),
      settings_(parts.settings),
      error_log_(parts.error_log),
      oplog_(parts.oplog),
      start_time_(parts.start_time),
      folder_(std::move(parts.folder)),
      shutdown_ordered_(std::move(shutdown_ordered)),
      socket_(io, *this, 0, kSendCap),
      greeting_wait_(timers, kGreetingWaitMs, false, [this] { GreetingOverdue(); }),
      dispatch_(streams, *this, parts.view, parts.monitor, parts.clock, parts.oplog,
                parts.error_log),
      clock_(parts.clock) {}

void ClusterLink::Listen() {
  socket_.ListenAgain(settings_.ClusterPort);
}

void ClusterLink::Disconnect() {
  Dropped(DropReason::kOperator, colours::kYellow);
}

bool ClusterLink::DropIfNotAllowed() {
  if (!caller_connected_ || Allowed(settings_.ClusterAllow, socket_.RemoteHostIP())) return false;
  Dropped(DropReason::kNotAllowed, colours::kYellow);
  return true;
}

void ClusterLink::Close() {
  caller_connected_ = false;
  greeting_wait_.SetEnabled(false);
  socket_.Close();
  state_ = LinkState::kListening;
}

bool ClusterLink::SendToCluster(std::string_view message) {
  return ClusterOnline() && SendStraight(message);
}

bool ClusterLink::SendStraight(std::string_view message) {
  const bool sent = socket_.SendData(message);
  if (sent) ++sent_messages_;
  return sent;
}

void ClusterLink::OnConnectionRequest(int, PendingConnection& request) {
  const TrustedPort port{settings_.ClusterAllow, "ClusterAllow", "VelgateCluster_ConnectionRequest",
                         Refusal::kClusterAllow};
  if (RefuseUntrusted(port, request, socket_.LocalPort(), error_log_, oplog_)) return;
  try {
    socket_.TakeCaller(request);
  } catch (const RunTimeError& error) {
    error_log_.Write("VelgateCluster_ConnectionRequest", error.Description());
    ReturnToListening(colours::kRed);
    return;
  }
  caller_connected_ = true;
  socket_.ApplyOptions({0, settings_.KeepAlive});
  oplog_.Record(oplog::ClusterConnected{socket_.RemoteHostIP()});
  // A new link starts clean: nothing held from the last one.
  splitter_.Reset();
  current_stream_ = 0;
  greeting_wait_.SetEnabled(false);
  greeting_wait_.SetEnabled(true);
  view_.UpdateLabels([](MainLabels& labels) {
    labels.StatusColour = colours::kButtonFace;
    labels.lblDate = "";
  });
}

void ClusterLink::OnClose(int) {
  Dropped(DropReason::kClosed, colours::kYellow);
}

void ClusterLink::OnError(int, const RunTimeError& error) {
  Dropped(
      error.Number() == RunTimeError::kSendCapReached ? DropReason::kQueueCap : DropReason::kFailed,
      colours::kRed);
}

void ClusterLink::GreetingOverdue() {
  greeting_wait_.SetEnabled(false);
  error_log_.Write("VelgateCluster_Greeting", "no greeting within " +
                                                  PlainNumber(kGreetingWaitMs / 1000) + " s from " +
                                                  socket_.RemoteHostIP() + ": dropped");
  Dropped(DropReason::kGreetingTimeout, colours::kYellow);
}

void ClusterLink::Dropped(DropReason reason, Colour colour) {
  if (caller_connected_) oplog_.Record(oplog::ClusterDropped{reason});
  ReturnToListening(colour);
}

void ClusterLink::ReturnToListening(Colour colour) {
  caller_connected_ = false;
  greeting_wait_.SetEnabled(false);
  try {
    socket_.ListenAgain(settings_.ClusterPort);
  } catch (const RunTimeError& error) {
    // The port was taken meanwhile: the gateway goes on without a cluster listener.
    error_log_.Write("VelgateCluster_Listen", error.Description());
  }
  state_ = LinkState::kListening;
  view_.UpdateLabels([colour](MainLabels& labels) { labels.StatusColour = colour; });
}

void ClusterLink::OnDataArrival(int, std::string_view data) {
  if (state_ == LinkState::kListening) {
    if (socket_.State() != SocketState::kConnected) return;
    state_ = LinkState::kConnected;
  }
  ReceiveBlock(data);
}

void ClusterLink::ReceiveBlock(std::string_view data) {
  int marker = 10;
  const DownstreamSplitter::Kind kind = splitter_.Feed(data);
  marker = 30;
  switch (kind) {
    case DownstreamSplitter::Kind::kGreeting:
      marker = 100;
      greeting_wait_.SetEnabled(false);
      SendStraight(QrvReply(StartTimeText(start_time_), kVersion, folder_));
      return;
    case DownstreamSplitter::Kind::kReady:
      marker = 110;
      greeting_wait_.SetEnabled(false);
      SendResyncList();
      return;
    case DownstreamSplitter::Kind::kOverflow:
      LogFailure(RunTimeError(14, "Out of string space"), 100);
      Dropped(DropReason::kFailed, colours::kRed);
      return;
    case DownstreamSplitter::Kind::kMessages:
      break;
  }
  marker = 40;
  for (std::string_view message : splitter_.Messages()) {
    ++received_messages_;
    try {
      if (!HandleMessage(message, marker)) return;
    } catch (const RunTimeError& error) {
      // A message that cannot be handled costs only itself.
      LogFailure(error, marker);
    }
  }
}

bool ClusterLink::HandleMessage(std::string_view message, int& marker) {
  marker = 42;
  SplitFields(message, fields_);
  marker = 44;
  if (fields_.empty()) {
    marker = 45;
    return true;
  }
  marker = 43;
  if (fields_.size() == 1) {
    marker = 46;
    if (table_.At(current_stream_).state == StreamState::kLoggedIn) {
      marker = 47;
      streams_.SendToStream(current_stream_, fields_[0]);
    }
    return true;
  }
  if (fields_.size() == 2 && fields_[0] == "10" && fields_[1] == "disconnect") {
    shutdown_ordered_();
    return false;
  }
  marker = 60;
  if (fields_[0].size() != 1) {
    marker = 86;
    return true;
  }
  RouteCoded(marker);
  return true;
}

void ClusterLink::RouteCoded(int& marker) {
  marker = 61;
  const char code_digit = fields_[0][0];
  if (code_digit < '0' || code_digit > '9') throw RunTimeError::TypeMismatch();
  const int code = code_digit - '0';
  marker = 62;
  if (code == 9) {
    if (fields_.size() < 4) throw RunTimeError::SubscriptOutOfRange();
    streams_.ConnectOut(fields_[1], fields_[2], fields_[3]);
    return;
  }
  marker = 64;
  if (fields_.size() < 2) throw RunTimeError::SubscriptOutOfRange();
  std::optional<std::int32_t> stream = ParseStrictInteger(fields_[1]);
  // Below FirstStreamIndex lie the listeners: no order may reach them.
  if (!stream || *stream < settings_.FirstStreamIndex || *stream > table_.StreamMax()) {
    // The log names the field that was bad, not the stream of the message before.
    bad_stream_field_ = std::string(fields_[1].substr(0, kMostFieldShown));
    if (!stream) throw RunTimeError::TypeMismatch();
    throw RunTimeError::SubscriptOutOfRange();
  }
  current_stream_ = static_cast<std::int16_t>(*stream);
  marker = 70;
  dispatch_.Dispatch(code, current_stream_, fields_, marker);
}

void ClusterLink::LogFailure(const RunTimeError& error, int marker) {
  const std::string stream = bad_stream_field_ ? *std::exchange(bad_stream_field_, std::nullopt)
                                               : PlainNumber(current_stream_);
  error_log_.Write("VelgateCluster_DataArrival", error.Description() + "  where = " +
                                                     PlainNumber(marker) + " Stream = " + stream);
}

void ClusterLink::SendResyncList() {
  SendStraight(AA01(settings_.FirstStreamIndex, table_.StreamMax()));
  std::int64_t resynced = 0;
  for (int s = settings_.PortSlotCount; s <= table_.StreamMax(); ++s) {
    if (table_.Socket(s).State() != SocketState::kConnected) continue;
    SendStraight(ResyncLine(s));
    ++resynced;
  }
  SendStraight(AA18());
  state_ = LinkState::kOnline;
  online_since_ms_ = clock_.SteadyMs();
  oplog_.Record(oplog::ClusterOnline{resynced});
  // What the users said while nobody carried it is told once the cluster is back.
  if (const std::int64_t lost = streams_.TakeDiscardedLines(); lost > 0) {
    oplog_.Record(oplog::LinesDiscarded{lost});
  }
}

std::string ClusterLink::ResyncLine(int s) const {
  const StatusRow& row = view_.Row(s);
  std::string_view call = row.call.text;
  if (call.find('^') != std::string_view::npos) call = {};
  const char* colour = call.empty() ? "white" : ColourWord(row.port.colour);
  return AA38Resync(call, s, row.address.text, colour, row.address_tip, row.address_tag,
                    table_.At(s).connection);
}

}  // namespace velgate
