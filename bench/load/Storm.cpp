#include "Storm.h"

#include <string_view>

namespace velgate::load {
namespace {

constexpr std::string_view kPrompt = "login: ";

}  // namespace

Storm::Storm(asio::io_context& io, int user_port)
    : io_(io),
      user_endpoint_(asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(user_port)) {}

void Storm::Start(std::vector<std::string> addresses, int per_address, int window) {
  addresses_ = std::move(addresses);
  callers_wanted_ = static_cast<int>(addresses_.size()) * per_address;
  for (int slot = 0; slot < window && slot < callers_wanted_; ++slot)
    Call(callers_.emplace_back(io_));
}

void Storm::Call(asio::ip::tcp::socket& caller) {
  while (callers_started_ < callers_wanted_) {
    // Round the addresses, so that each one's requests are spread over the whole storm.
    const std::string& address =
        addresses_[static_cast<std::size_t>(callers_started_++) % addresses_.size()];
    std::error_code error;
    caller.open(asio::ip::tcp::v4(), error);
    if (!error) caller.bind({asio::ip::make_address(address), 0}, error);
    if (!error) {
      caller.async_connect(user_endpoint_, [this, &caller](std::error_code connect_error) {
        if (connect_error) ++callers_failed_;
        std::error_code ignored;
        caller.close(ignored);
        if (++callers_done_ == callers_wanted_) callers_finished_ = Clock::now();
        Call(caller);
      });
      return;
    }
    caller.close(error);
    ++callers_failed_;
    if (++callers_done_ == callers_wanted_) callers_finished_ = Clock::now();
  }
}

void Storm::StartNewcomer(const std::string& address) {
  Newcomer& newcomer = *newcomers_.emplace_back(std::make_unique<Newcomer>(io_));
  ++newcomers_waiting_;
  newcomer.start = Clock::now();
  std::error_code error;
  newcomer.socket.open(asio::ip::tcp::v4(), error);
  if (!error) newcomer.socket.bind({asio::ip::make_address(address), 0}, error);
  if (error) {
    EndNewcomer(newcomer, false);
    return;
  }
  newcomer.socket.async_connect(user_endpoint_, [this, &newcomer](std::error_code connect_error) {
    if (connect_error) {
      EndNewcomer(newcomer, false);
      return;
    }
    ReadNewcomer(newcomer);
  });
}

void Storm::ReadNewcomer(Newcomer& newcomer) {
  newcomer.socket.async_read_some(asio::buffer(newcomer.buffer),
                                  [this, &newcomer](std::error_code error, std::size_t n) {
                                    if (error) {
                                      EndNewcomer(newcomer, false);
                                      return;
                                    }
                                    newcomer.text.append(newcomer.buffer.data(), n);
                                    if (newcomer.text.find(kPrompt) != std::string::npos) {
                                      EndNewcomer(newcomer, true);
                                      return;
                                    }
                                    ReadNewcomer(newcomer);
                                  });
}

void Storm::EndNewcomer(Newcomer& newcomer, bool served) {
  if (served) {
    prompt_times_.push_back(
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - newcomer.start)
            .count());
  } else if (called_off_) {
    ++newcomers_unanswered_;
  } else {
    ++newcomers_refused_;
  }
  --newcomers_waiting_;
  std::error_code ignored;
  newcomer.socket.close(ignored);
}

void Storm::CallOff() {
  called_off_ = true;
  callers_wanted_ = callers_started_;
  std::error_code ignored;
  for (auto& caller : callers_) caller.close(ignored);
  for (auto& newcomer : newcomers_) newcomer->socket.close(ignored);
}

}  // namespace velgate::load
