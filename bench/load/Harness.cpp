#include "Harness.h"

#include <sys/socket.h>

#include <asio/connect.hpp>
#include <asio/write.hpp>
#include <charconv>
#include <cstdio>

namespace velgate::load {
namespace {

constexpr char kEtx = '\x03';
constexpr char kEot = '\x04';
constexpr std::string_view kPrompt = "login: ";

int NumberAt(std::string_view text, std::size_t at) {
  int value = 0;
  std::from_chars(text.data() + at, text.data() + text.size(), value);
  return value;
}

// A probe line's send time: "L" and the nanoseconds, up to its line end.
std::int64_t ProbeLatency(std::string_view line) {
  std::int64_t sent = 0;
  std::from_chars(line.data() + 1, line.data() + line.size(), sent);
  return NowNs() - sent;
}

}  // namespace

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

std::string CallerAddress(int n) {
  const int address = n / 9;
  return "127." + std::to_string(1 + address / 62500) + "." + std::to_string(address / 250 % 250) +
         "." + std::to_string(1 + address % 250);
}

Harness::Harness(asio::io_context& io, const Target& target)
    : io_(io),
      target_(target),
      user_endpoint_(asio::ip::make_address("127.0.0.1"),
                     static_cast<unsigned short>(target.UserPort())),
      cluster_(io),
      user_of_stream_(32768, -1) {}

bool Harness::RunUntil(const std::function<bool()>& done, double seconds) {
  const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (Clock::now() > deadline) return false;
    if (io_.stopped()) io_.restart();
    io_.run_one_for(std::chrono::milliseconds(1));
  }
  return true;
}

void Harness::RunFor(double seconds) {
  RunUntil([] { return false; }, seconds);
}

// --- the cluster server ---

bool Harness::ConnectCluster() {
  std::error_code error;
  cluster_.connect(
      {asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(target_.ClusterPort())},
      error);
  if (error) return false;
  cluster_.set_option(asio::ip::tcp::no_delay(true));
  asio::write(cluster_, asio::buffer(std::string_view("7261")), error);
  if (error) return false;
  ReadCluster();
  return RunUntil([this] { return online_; }, 10);
}

void Harness::ReadCluster() {
  cluster_.async_read_some(
      asio::buffer(cluster_buffer_), [this](std::error_code error, std::size_t n) {
        if (error) return;
        cluster_held_.append(cluster_buffer_.data(), n);
        std::size_t from = 0;
        for (std::size_t end = cluster_held_.find(kEtx); end != std::string::npos;
             end = cluster_held_.find(kEtx, from)) {
          OnClusterMessage(std::string_view(cluster_held_).substr(from, end - from));
          from = end + 1;
        }
        cluster_held_.erase(0, from);
        ReadCluster();
      });
}

void Harness::OnClusterMessage(std::string_view message) {
  ++messages_up_;
  if (message.size() < 5) return;
  const std::string_view code = message.substr(0, 5);
  if (code == "AA00^") {
    OnLinesUp(message);
  } else if (code == "AA17^") {
    OnHangUp(message);
  } else if (code == "AA03^") {
    if (message.starts_with("AA03^Connect Request^")) {
      ++connect_requests_;
      if (callers_wanted_ > 0) {
        // A churned caller has been served: close the oldest, start the next.
        if (!callers_.empty()) callers_.pop_front();
        ConnectNextCallers();
        return;
      }
      const int stream = NumberAt(message, 21);
      SendDownstream("3\x03" + std::to_string(stream) + "\x03login: \x04");
      return;
    }
    // A login line "U<user>": confirm it.
    const std::size_t text = message.find('^', 5) + 1;
    const int stream = NumberAt(message, 5);
    if (text >= message.size() || message[text] != 'U' || stream <= 0 || stream >= 32768) return;
    const int u = NumberAt(message, text + 1);
    if (u < 0 || u >= static_cast<int>(users_.size())) return;
    user_of_stream_[static_cast<std::size_t>(stream)] = u;
    users_[static_cast<std::size_t>(u)]->stream = stream;
    SendDownstream("4\x03" + std::to_string(stream) + "\x03U" + std::to_string(u) + "\x04");
  } else if (code == "AA04^") {
    const int stream = NumberAt(message, 5);
    if (stream <= 0 || stream >= 32768) return;
    const int u = user_of_stream_[static_cast<std::size_t>(stream)];
    if (u < 0) return;
    users_[static_cast<std::size_t>(u)]->logged_in = true;
    ++logins_done_;
    if (logins_started_ < logins_wanted_) StartUser(logins_started_++);
  } else if (code == "AA18^") {
    online_ = true;
  }
}

void Harness::OnLinesUp(std::string_view message) {
  // Lines that reached the gateway together may go up together: count line ends.
  const std::string_view text = message.substr(std::min(message.find('^', 5) + 1, message.size()));
  const int stream = NumberAt(message, 5);
  std::size_t from = 0;
  for (std::size_t end = text.find("\r\n"); end != std::string_view::npos;
       end = text.find("\r\n", from)) {
    ++lines_up_;
    const std::string_view line = text.substr(from, end - from + 2);
    if (line[0] == 'L') up_latencies_.push_back(ProbeLatency(line));
    if (line[0] == 'R') {
      SendDownstream("0\x03" + std::to_string(stream) + "\x03" + std::string(line) + "\x04");
    }
    from = end + 2;
  }
}

void Harness::OnHangUp(std::string_view message) {
  // AA17^call^stream^connection; the call is the caller's text, without a "^".
  ++hang_ups_;
  const std::size_t at = message.find('^', 5) + 1;
  const int stream = at < message.size() ? NumberAt(message, at) : 0;
  if (stream <= 0 || stream >= 32768) return;
  const int u = user_of_stream_[static_cast<std::size_t>(stream)];
  if (u >= 0) users_[static_cast<std::size_t>(u)]->ended = true;
}

void Harness::SendDownstream(std::string_view bytes) {
  cluster_pending_.append(bytes);
  FlushCluster();
}

void Harness::FlushCluster() {
  if (!cluster_writing_.empty() || cluster_pending_.empty()) return;
  cluster_writing_.swap(cluster_pending_);
  asio::async_write(cluster_, asio::buffer(cluster_writing_),
                    [this](std::error_code error, std::size_t) {
                      if (error) return;
                      cluster_writing_.clear();
                      FlushCluster();
                    });
}

// --- the users ---

bool Harness::LogIn(int n, int window) {
  logins_wanted_ = static_cast<int>(users_.size()) + n;
  users_.reserve(static_cast<std::size_t>(logins_wanted_));
  for (int started = 0; started < window && logins_started_ < logins_wanted_; ++started)
    StartUser(logins_started_++);
  return RunUntil([this] { return logins_done_ == logins_wanted_; }, 120);
}

void Harness::StartUser(int u) {
  users_.push_back(std::make_unique<User>(io_, u));
  User& user = *users_.back();
  user.socket.open(asio::ip::tcp::v4());
  user.socket.bind({asio::ip::make_address(CallerAddress(u)), 0});
  user.socket.async_connect(user_endpoint_, [this, u](std::error_code error) {
    if (error) {
      std::fprintf(stderr, "user %d could not connect: %s\n", u, error.message().c_str());
      return;
    }
    users_[static_cast<std::size_t>(u)]->socket.set_option(asio::ip::tcp::no_delay(true), error);
    ReadUser(u);
  });
}

void Harness::ReadUser(int u) {
  User& user = *users_[static_cast<std::size_t>(u)];
  user.socket.async_read_some(asio::buffer(user.buffer),
                              [this, u, &user](std::error_code error, std::size_t n) {
                                if (error || !reading_) return;
                                OnUserData(user, n);
                                ReadUser(u);
                              });
}

void Harness::OnUserData(User& user, std::size_t n) {
  const std::string_view data(user.buffer.data(), n);
  if (!user.logged_in) {
    if (data.find(kPrompt) != std::string_view::npos)
      SendFromUser(user.index, "U" + std::to_string(user.index) + "\r\n");
    return;
  }
  if (user_mode_ == UserMode::kLatency) {
    OnProbeData(user, data);
    return;
  }
  const std::uint64_t before = user.received;
  user.received += n;
  if (before < expect_per_user_ && user.received >= expect_per_user_) {
    ++users_done_;
    last_user_done_ = Clock::now();
  }
}

void Harness::OnProbeData(User& user, std::string_view data) {
  user.tail.append(data);
  std::size_t from = 0;
  for (std::size_t end = user.tail.find("\r\n"); end != std::string::npos;
       end = user.tail.find("\r\n", from)) {
    const std::string_view line = std::string_view(user.tail).substr(from, end - from);
    if (line.starts_with('L')) down_latencies_.push_back(ProbeLatency(line));
    if (line.starts_with('R')) round_trips_.push_back(ProbeLatency(line));
    from = end + 2;
  }
  user.tail.erase(0, from);
}

void Harness::ExpectPerUser(std::uint64_t bytes) {
  for (auto& user : users_) user->received = 0;
  expect_per_user_ = bytes;
  users_done_ = 0;
}

bool Harness::SendFromUser(int u, std::string_view bytes) {
  const int fd = users_[static_cast<std::size_t>(u)]->socket.native_handle();
  return ::send(fd, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL) ==
         static_cast<ssize_t>(bytes.size());
}

void Harness::StopReading() {
  reading_ = false;
  std::error_code ignored;
  for (auto& user : users_) user->socket.cancel(ignored);
}

int Harness::CloseEndedUsers() {
  int closed = 0;
  for (auto& user : users_) {
    if (!user->ended || !user->socket.is_open()) continue;
    std::error_code ignored;
    user->socket.close(ignored);
    ++closed;
  }
  return closed;
}

// --- callers that connect and go ---

bool Harness::ChurnCallers(int count, int window, int first_address) {
  const std::uint64_t before = connect_requests_;
  callers_wanted_ = count;
  callers_started_ = 0;
  caller_window_ = window;
  caller_address_ = first_address;
  ConnectNextCallers();
  const bool served = RunUntil(
      [&] { return connect_requests_ - before >= static_cast<std::uint64_t>(count); }, 120);
  callers_.clear();
  callers_wanted_ = 0;
  return served;
}

void Harness::ConnectNextCallers() {
  while (static_cast<int>(callers_.size()) < caller_window_ && callers_started_ < callers_wanted_) {
    asio::ip::tcp::socket& caller = callers_.emplace_back(io_);
    caller.open(asio::ip::tcp::v4());
    caller.bind({asio::ip::make_address(CallerAddress(caller_address_ + callers_started_++)), 0});
    caller.async_connect(user_endpoint_, [](std::error_code) {});
  }
}

// --- the monitor client ---

bool Harness::ConnectMonitor(const std::string& commands) {
  monitor_ = std::make_unique<asio::ip::tcp::socket>(io_);
  std::error_code error;
  monitor_->connect(
      {asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(target_.MonitorPort())},
      error);
  if (error) return false;
  // Messages are queued for the client only from the monitor's next tick (20 ms) on.
  RunFor(0.1);
  asio::write(*monitor_, asio::buffer(commands), error);
  if (error) return false;
  // The selected stream's row comes back once the client has been taken.
  ReadMonitor();
  return RunUntil([this] { return monitor_bytes_ > 0; }, 5);
}

void Harness::ReadMonitor() {
  monitor_->async_read_some(asio::buffer(monitor_buffer_),
                            [this](std::error_code error, std::size_t n) {
                              if (error) return;
                              monitor_bytes_ += n;
                              ReadMonitor();
                            });
}

void Harness::CloseMonitor() {
  if (monitor_) monitor_->close();
  RunFor(0.05);
  monitor_.reset();
}

}  // namespace velgate::load
