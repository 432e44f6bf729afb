#include "viewer/MonitorSession.h"

#include <algorithm>

#include "platform/NumberText.h"

namespace velgate::viewer {
namespace {

// The monitor client gets much at once (every row on "B"); it only ever sends short blocks.
constexpr std::size_t kSendCap = 64 * 1024;

std::string TargetText(const std::string& host, int port) {
  const bool ipv6 = host.find(':') != std::string::npos;
  return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

}  // namespace

MonitorSession::MonitorSession(asio::io_context& io, TimerQueue& timers, MonitorModel& model,
                               std::string host, int port)
    : model_(model),
      host_(std::move(host)),
      port_(port),
      target_(TargetText(host_, port)),
      socket_(io, *this, 0, kSendCap),
      pace_(timers, kPaceMs, false, [this] { SendNextBlock(); }),
      retry_(timers, kFirstPauseS * 1000, false,
             [this] {
               retry_.SetEnabled(false);
               Connect();
             }),
      picture_check_(timers, kPictureCheckMs, false, [this] { CheckThePicture(); }),
      connect_deadline_(timers, kConnectTimeoutMs, false, [this] {
        connect_deadline_.SetEnabled(false);
        socket_.Close();
        Lost("no answer");
      }) {}

void MonitorSession::Start() {
  stopped_ = false;
  Connect();
}

void MonitorSession::Stop() {
  stopped_ = true;
  pace_.SetEnabled(false);
  retry_.SetEnabled(false);
  connect_deadline_.SetEnabled(false);
  picture_check_.SetEnabled(false);
  socket_.Close();
}

void MonitorSession::Connect() {
  if (stopped_) return;
  ++status_.tries;
  SetState(LinkState::kConnecting);
  connect_deadline_.Restart();
  try {
    socket_.Connect(host_, port_);
  } catch (const RunTimeError& error) {
    connect_deadline_.SetEnabled(false);
    Lost(error.Description());
  }
}

void MonitorSession::OnConnect(int) {
  connect_deadline_.SetEnabled(false);
  status_.why.clear();
  model_.Reconnected();
  // The gateway takes a new client with the feed on, no stream selected and every flag as it
  // was: ask for the whole picture, flag only what this operator flagged, say whom to follow.
  flag_commands_.clear();
  last_commands_.clear();
  AskForThePicture();
  if (model_.FollowNew()) {
    last_commands_.push_back("A");
  } else {
    last_commands_.push_back(PlainNumber(model_.Followed()));
  }
  SetState(LinkState::kConnected);
  // What the gateway sends before its monitor drain first sees this client is lost: the first
  // block waits a pause, and the picture is asked for again while its summary has not come.
  pace_.Restart();
  picture_check_.Restart();
}

void MonitorSession::AskForThePicture() {
  flag_commands_ += "M*^N*^" + FlagsAgain();
  if (!feed_on_) flag_commands_ += "M-^";
  Last("B");
}

void MonitorSession::CheckThePicture() {
  if (status_.state != LinkState::kConnected || model_.AllTime().known)
    return picture_check_.SetEnabled(false);
  AskForThePicture();
  SendSoon();
}

void MonitorSession::OnDataArrival(int, std::string_view data) {
  // A connection holds once the gateway speaks: one it closes at once (a client it does not
  // allow) keeps the pause growing.
  pause_s_ = kFirstPauseS;
  status_.tries = 0;
  model_.Feed(data);
  QuietNewcomers();
}

void MonitorSession::OnClose(int) {
  status_.refused = false;
  Lost("the gateway closed the connection");
}

void MonitorSession::OnError(int, const RunTimeError& error) {
  status_.refused = error.Number() == RunTimeError::kConnectionRefused;
  socket_.Close();
  connect_deadline_.SetEnabled(false);
  Lost(error.Description());
}

void MonitorSession::Lost(const std::string& why) {
  pace_.SetEnabled(false);
  picture_check_.SetEnabled(false);
  status_.why = why;
  if (stopped_) return;
  status_.retry_in_s = pause_s_;
  retry_.SetInterval(pause_s_ * 1000);
  retry_.Restart();
  pause_s_ = std::min(pause_s_ * 2, kLongestPauseS);
  SetState(LinkState::kWaiting);
}

void MonitorSession::SetState(LinkState state) {
  status_.state = state;
  if (events_) events_->LinkChanged(status_);
}

void MonitorSession::QuietNewcomers() {
  // The gateway flags every new stream for traces; those this operator did not flag are turned
  // off again, so their output is not copied for nothing.
  const std::vector<int> newcomers = model_.TakeNewcomers();
  if (newcomers.size() >= MonitorModel::kMostNewcomers || flag_commands_.size() > kMostBacklog) {
    // Too many to name: every flag off, and this operator's on again, once.
    const std::string again = "N*^" + FlagsAgain();
    if (!flag_commands_.ends_with(again)) flag_commands_ += again;
  } else {
    for (const int s : newcomers)
      if (!model_.Flagged(s)) flag_commands_ += "N" + PlainNumber(s) + "^";
  }
  if (!flag_commands_.empty()) pace_.SetEnabled(true);
}

std::string MonitorSession::FlagsAgain() const {
  std::string commands;
  for (const int s : model_.Flags()) commands += "M" + PlainNumber(s) + "^";
  return commands;
}

void MonitorSession::SendNextBlock() {
  if (status_.state != LinkState::kConnected) return pace_.SetEnabled(false);
  if (flag_commands_.empty() && last_commands_.empty()) return pace_.SetEnabled(false);
  // A block small enough to arrive in one piece: a flag command cut in two would be read as
  // a selection.
  std::string block;
  if (flag_commands_.size() <= kMostBlockBytes) {
    block = std::exchange(flag_commands_, {});
  } else {
    // Every command is a few bytes ending in "^", so one ends within the block.
    const std::size_t end = flag_commands_.rfind('^', kMostBlockBytes - 1) + 1;
    block = flag_commands_.substr(0, end);
    flag_commands_.erase(0, end);
  }
  if (flag_commands_.empty() && !last_commands_.empty() &&
      block.size() + last_commands_.front().size() <= kMostBlockBytes) {
    block += last_commands_.front();
    last_commands_.pop_front();
  }
  socket_.SendData(block);
  // The next block leaves a full pause later, so the gateway reads the two apart.
  pace_.SetEnabled(false);
  pace_.SetEnabled(true);
}

void MonitorSession::SendSoon() {
  if (status_.state == LinkState::kConnected && !pace_.Enabled()) SendNextBlock();
}

void MonitorSession::Last(std::string command) {
  // Keys pressed faster than blocks may leave: the oldest wishes give way.
  if (last_commands_.size() >= kMostWaitingBlocks) last_commands_.pop_front();
  last_commands_.push_back(std::move(command));
}

void MonitorSession::Follow(int s) {
  model_.SetFollowed(s);
  Last(PlainNumber(s));
  SendSoon();
}

void MonitorSession::FollowEachNew() {
  model_.SetFollowNew();
  Last("A");
  SendSoon();
}

void MonitorSession::SetFlag(int s, bool on) {
  model_.SetFlagged(s, on);
  flag_commands_ += (on ? "M" : "N") + PlainNumber(s) + "^";
  SendSoon();
}

void MonitorSession::ClearFlags() {
  model_.ClearFlags();
  flag_commands_ += "N*^";
  SendSoon();
}

void MonitorSession::AskEverything() {
  Last("B");
  SendSoon();
}

void MonitorSession::SetFeed(bool on) {
  feed_on_ = on;
  // Feed on flags every stream again: only this operator's flags stay.
  flag_commands_ += on ? "M*^N*^" + FlagsAgain() : "M-^";
  SendSoon();
}

}  // namespace velgate::viewer
