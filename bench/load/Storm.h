#pragma once
// A connection storm at the user port: callers from a handful of addresses that hang up as soon
// as their connect completes, as fast as the target takes them, with a window of them open at
// once. Beside them, newcomers from addresses of their own, each timed from its connect to the
// login prompt the cluster sends back.

#include <array>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "Harness.h"

namespace velgate::load {

class Storm {
 public:
  Storm(asio::io_context& io, int user_port);

  /// Makes `per_address` requests from each address in turn, at most `window` open at once.
  void Start(std::vector<std::string> addresses, int per_address, int window);
  /// Whether every request has been made and its connection closed again.
  bool CallersDone() const { return callers_done_ == callers_wanted_; }
  /// When the last caller's connect completed.
  Clock::time_point CallersFinished() const { return callers_finished_; }
  /// Connects that failed (none are expected: a refusal comes after the connect).
  int CallersFailed() const { return callers_failed_; }

  /// Connects a newcomer from `address` now; it hangs up once it has the login prompt.
  void StartNewcomer(const std::string& address);
  /// Newcomers still waiting for their prompt.
  int NewcomersWaiting() const { return newcomers_waiting_; }
  /// Newcomers whose connection was closed, or failed, before a prompt came.
  int NewcomersRefused() const { return newcomers_refused_; }
  /// Newcomers still waiting when the storm was called off.
  int NewcomersUnanswered() const { return newcomers_unanswered_; }
  /// Nanoseconds from each served newcomer's connect to its prompt.
  std::vector<std::int64_t>& PromptTimes() { return prompt_times_; }

  /// Starts no more callers and closes every connection still open; their handlers still run.
  void CallOff();
  /// Whether no operation is pending: the storm may be destroyed.
  bool Idle() const { return callers_done_ == callers_started_ && newcomers_waiting_ == 0; }

 private:
  struct Newcomer {
    explicit Newcomer(asio::io_context& io) : socket(io) {}
    asio::ip::tcp::socket socket;
    Clock::time_point start;
    std::array<char, 256> buffer{};
    std::string text;
  };

  void Call(asio::ip::tcp::socket& caller);
  void ReadNewcomer(Newcomer& newcomer);
  void EndNewcomer(Newcomer& newcomer, bool served);

  asio::io_context& io_;
  asio::ip::tcp::endpoint user_endpoint_;
  std::vector<std::string> addresses_;
  std::deque<asio::ip::tcp::socket> callers_;  // the window; each socket is used again and again
  int callers_wanted_ = 0;
  int callers_started_ = 0;
  int callers_done_ = 0;
  int callers_failed_ = 0;
  Clock::time_point callers_finished_;
  // Kept until the storm is over: a socket is never destroyed inside its own handler.
  std::deque<std::unique_ptr<Newcomer>> newcomers_;
  int newcomers_waiting_ = 0;
  int newcomers_refused_ = 0;
  int newcomers_unanswered_ = 0;
  bool called_off_ = false;
  std::vector<std::int64_t> prompt_times_;
};

}  // namespace velgate::load
