#pragma once
// The load tool's side of every connection, on one Asio loop: the cluster server (it answers
// connect requests with the login prompt and login lines with a confirmation, sends round-trip
// probes back down, and counts what comes up), N users from their own 127.x.y.z addresses (at
// most nine to an address), further callers for the accept scenario, and a monitor client that
// reads everything it is sent.

#include <array>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Target.h"

namespace velgate::load {

using Clock = std::chrono::steady_clock;

/// Nanoseconds on the steady clock; latency probes carry it in their text.
std::int64_t NowNs();
/// The source address of caller n: nine callers to an address, from 127.1.0.1 on.
std::string CallerAddress(int n);

/// What the users do with what they receive.
enum class UserMode { kCount, kLatency };

struct User {
  User(asio::io_context& io, int index) : socket(io), index(index) {}
  asio::ip::tcp::socket socket;
  int index;
  std::array<char, 4096> buffer{};
  std::string tail;  // an unfinished probe line (latency only)
  std::uint64_t received = 0;
  int stream = 0;
  bool logged_in = false;
  bool ended = false;  // the cluster was told its stream ended (AA17)
};

class Harness {
 public:
  Harness(asio::io_context& io, const Target& target);

  /// Connects the cluster server and waits until the target is online.
  bool ConnectCluster();
  /// Connects and logs in n users, at most `window` at a time between connect and confirmation.
  bool LogIn(int n, int window);
  /// Runs the loop until done() holds; false after `seconds`.
  bool RunUntil(const std::function<bool()>& done, double seconds);
  /// Runs the loop for a while.
  void RunFor(double seconds);
  asio::io_context& Io() { return io_; }

  // The cluster server.
  /// Queues bytes for the target, sent in order as fast as it takes them.
  void SendDownstream(std::string_view bytes);
  /// Bytes queued for the target that it has not taken yet.
  std::size_t DownstreamWaiting() const {
    return cluster_pending_.size() + cluster_writing_.size();
  }
  /// Up-going messages of any kind counted so far.
  std::uint64_t MessagesUp() const { return messages_up_; }
  /// Up-going messages counted so far: AA00 lines (any stream).
  std::uint64_t LinesUp() const { return lines_up_; }
  /// Connect requests counted so far.
  std::uint64_t ConnectRequests() const { return connect_requests_; }
  /// Streams reported ended (AA17) so far.
  std::uint64_t HangUps() const { return hang_ups_; }
  /// Latencies (ns) of probe lines that came up, since the last Clear.
  std::vector<std::int64_t>& UpLatencies() { return up_latencies_; }

  // The users.
  std::vector<std::unique_ptr<User>>& Users() { return users_; }
  void SetUserMode(UserMode mode) { user_mode_ = mode; }
  /// Every user's byte counter back to 0, and the bytes that make a user done.
  void ExpectPerUser(std::uint64_t bytes);
  int UsersDone() const { return users_done_; }
  Clock::time_point LastUserDone() const { return last_user_done_; }
  std::vector<std::int64_t>& DownLatencies() { return down_latencies_; }
  /// Round trips (ns) of "R" probe lines: a user sends one, the cluster sends it straight back.
  std::vector<std::int64_t>& RoundTrips() { return round_trips_; }
  /// Sends bytes from user u without waiting; false when its socket is full.
  bool SendFromUser(int u, std::string_view bytes);
  /// Every user stops reading its socket for good, as a stalled client does.
  void StopReading();
  /// Closes the sockets of the users whose stream has ended; returns how many.
  int CloseEndedUsers();

  // Further callers: connects `count` more, at most `window` open at once; each is closed once
  // its connect request has reached the cluster.
  bool ChurnCallers(int count, int window, int first_address);

  // The monitor client: connects, sends the commands, and reads everything from then on.
  bool ConnectMonitor(const std::string& commands);
  std::uint64_t MonitorBytes() const { return monitor_bytes_; }
  void CloseMonitor();

 private:
  void ReadCluster();
  void OnClusterMessage(std::string_view message);
  void OnLinesUp(std::string_view message);
  void OnHangUp(std::string_view message);
  void FlushCluster();
  void StartUser(int u);
  void ReadUser(int u);
  void OnUserData(User& user, std::size_t n);
  void OnProbeData(User& user, std::string_view data);
  void ConnectNextCallers();
  void ReadMonitor();

  asio::io_context& io_;
  const Target& target_;
  asio::ip::tcp::endpoint user_endpoint_;

  asio::ip::tcp::socket cluster_;
  std::array<char, 65536> cluster_buffer_{};
  std::string cluster_held_;
  std::string cluster_pending_;
  std::string cluster_writing_;
  bool online_ = false;
  std::uint64_t messages_up_ = 0;
  std::uint64_t lines_up_ = 0;
  std::uint64_t connect_requests_ = 0;
  std::uint64_t hang_ups_ = 0;
  std::vector<std::int64_t> up_latencies_;
  std::vector<int> user_of_stream_;

  std::vector<std::unique_ptr<User>> users_;
  UserMode user_mode_ = UserMode::kCount;
  std::uint64_t expect_per_user_ = 0;
  int users_done_ = 0;
  Clock::time_point last_user_done_;
  std::vector<std::int64_t> down_latencies_;
  std::vector<std::int64_t> round_trips_;
  bool reading_ = true;
  int logins_wanted_ = 0;
  int logins_started_ = 0;
  int logins_done_ = 0;
  int login_window_ = 0;

  std::deque<asio::ip::tcp::socket> callers_;
  int callers_wanted_ = 0;
  int callers_started_ = 0;
  int caller_window_ = 0;
  int caller_address_ = 0;
  std::uint64_t requests_before_churn_ = 0;

  std::unique_ptr<asio::ip::tcp::socket> monitor_;
  std::array<char, 65536> monitor_buffer_{};
  std::uint64_t monitor_bytes_ = 0;
};

}  // namespace velgate::load
