#include "link/ClusterLink.h"

#include <optional>

#include "app/Dates.h"
#include "app/Version.h"
#include "platform/NumberText.h"

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

ClusterLink::ClusterLink(asio::io_context& io, StreamTable& streams, ViewModel& view,
                         const Settings& settings, ErrorLogFile& error_log,
                         const DateTime& start_time, std::string folder, Hooks hooks)
    : streams_(streams),
      view_(view),
      settings_(settings),
      error_log_(error_log),
      start_time_(start_time),
      folder_(std::move(folder)),
      hooks_(std::move(hooks)),
      socket_(io, *this, 0, kSendCap) {}

void ClusterLink::Listen() {
  socket_.Close();
  socket_.SetLocalPort(settings_.ClusterPort);
  socket_.Listen();
}

void ClusterLink::Disconnect() {
  ReturnToListening(colours::kYellow);
}

void ClusterLink::Close() {
  socket_.Close();
  cluster_connected_ = false;
  cluster_online_ = false;
}

void ClusterLink::SendToCluster(std::string_view message) {
  if (cluster_online_) socket_.SendData(message);
}

bool ClusterLink::SendStraight(std::string_view message) {
  return socket_.SendData(message);
}

void ClusterLink::OnConnectionRequest(int, PendingConnection& request) {
  try {
    socket_.TakeCaller(request);
  } catch (const RunTimeError& error) {
    error_log_.Write("VelgateCluster_ConnectionRequest", error.Description());
    ReturnToListening(colours::kRed);
    return;
  }
  // A new link starts clean: nothing held from the last one.
  splitter_.Reset();
  current_stream_ = 0;
  view_.UpdateLabels([](MainLabels& labels) {
    labels.StatusColour = colours::kButtonFace;
    labels.lblDate = "";
  });
}

void ClusterLink::OnClose(int) {
  ReturnToListening(colours::kYellow);
}

void ClusterLink::OnError(int, const RunTimeError&) {
  ReturnToListening(colours::kRed);
}

void ClusterLink::ReturnToListening(Colour colour) {
  socket_.Close();
  try {
    socket_.SetLocalPort(settings_.ClusterPort);
    socket_.Listen();
  } catch (const RunTimeError& error) {
    // The port was taken meanwhile: the gateway goes on without a cluster listener.
    error_log_.Write("VelgateCluster_Listen", error.Description());
  }
  cluster_connected_ = false;
  cluster_online_ = false;
  view_.UpdateLabels([colour](MainLabels& labels) { labels.StatusColour = colour; });
}

void ClusterLink::OnDataArrival(int, std::string_view data) {
  if (!cluster_connected_) {
    if (socket_.State() != SocketState::kConnected) return;
    cluster_connected_ = true;
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
      SendStraight(QrvReply(StartTimeText(start_time_), kVersion, folder_));
      return;
    case DownstreamSplitter::Kind::kReady:
      marker = 110;
      SendResyncList();
      return;
    case DownstreamSplitter::Kind::kOverflow:
      LogFailure(RunTimeError(14, "Out of string space"), 100);
      ReturnToListening(colours::kRed);
      return;
    case DownstreamSplitter::Kind::kMessages:
      break;
  }
  marker = 40;
  for (std::string_view message : splitter_.Messages()) {
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
    if (streams_.StreamState[static_cast<std::size_t>(current_stream_)] == 7) {
      marker = 47;
      hooks_.send_to_stream(current_stream_, fields_[0]);
    }
    return true;
  }
  if (fields_.size() == 2 && fields_[0] == "10" && fields_[1] == "disconnect") {
    hooks_.shutdown_ordered();
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
    hooks_.connect_out(fields_[1], fields_[2], fields_[3]);
    return;
  }
  marker = 64;
  if (fields_.size() < 2) throw RunTimeError::SubscriptOutOfRange();
  std::optional<std::int32_t> stream = ParseStrictInteger(fields_[1]);
  if (!stream) throw RunTimeError::TypeMismatch();
  // Below FirstStreamIndex lie the listeners: no order may reach them.
  if (*stream < settings_.FirstStreamIndex || *stream > streams_.StreamMax()) {
    throw RunTimeError::SubscriptOutOfRange();
  }
  current_stream_ = static_cast<std::int16_t>(*stream);
  marker = 70;
  if (hooks_.dispatch) hooks_.dispatch(code, fields_, marker);
}

void ClusterLink::LogFailure(const RunTimeError& error, int marker) {
  error_log_.Write("VelgateCluster_DataArrival", error.Description() +
                                                     "  where = " + PlainNumber(marker) +
                                                     " Stream = " + PlainNumber(current_stream_));
}

void ClusterLink::SendResyncList() {
  SendStraight(AA01(settings_.FirstStreamIndex, streams_.StreamMax()));
  for (int s = settings_.PortSlotCount; s <= streams_.StreamMax(); ++s) {
    if (streams_.Socket(s).State() == SocketState::kConnected) SendStraight(ResyncLine(s));
  }
  SendStraight(AA18());
  cluster_online_ = true;
}

std::string ClusterLink::ResyncLine(int s) const {
  const StatusRow& row = view_.Row(s);
  std::string_view call = row.call.text;
  if (call.find('^') != std::string_view::npos) call = {};
  const char* colour = call.empty() ? "white" : ColourWord(row.port.colour);
  return AA38Resync(call, s, row.address.text, colour, row.address.tip, row.address.tag,
                    streams_.StreamConnID[static_cast<std::size_t>(s)]);
}

}  // namespace velgate
