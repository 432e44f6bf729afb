// velgate-monitor: the operator's view of a running gateway over its monitor port, full screen
// in a terminal, or one line per event with --lines.

#include <getopt.h>
#include <unistd.h>

#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/signal_set.hpp>
#include <csignal>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "base/Version.h"
#include "platform/AsioTimerDriver.h"
#include "platform/Clock.h"
#include "platform/NumberText.h"
#include "platform/TimerQueue.h"
#include "viewer/CursesTerminal.h"
#include "viewer/EventLines.h"
#include "viewer/MonitorModel.h"
#include "viewer/MonitorScreen.h"
#include "viewer/MonitorSession.h"

namespace {

const char kUsage[] =
    "usage: velgate-monitor [--host HOST] [--port PORT] [--follow STREAM|new] [--lines]\n"
    "  Watches a running Velgate gateway through its monitor port: who is on, from where,\n"
    "  in which state, the marks and the listeners, and the traffic of one stream.\n"
    "  HOST is a name, an IPv4 or an IPv6 address (default 127.0.0.1); PORT the\n"
    "  gateway's MonitorPort (default 15555). A gateway that goes away is tried again.\n"
    "  --follow shows the traffic of STREAM, or of each new caller's stream, from the\n"
    "  start. --lines prints one line per event instead of the screen, until\n"
    "  interrupted.\n"
    "  On the screen, ? shows the keys.\n";

constexpr std::int64_t kRefreshMs = 100;

struct Arguments {
  std::string host = "127.0.0.1";
  int port = 15555;
  bool lines = false;
  std::optional<int> follow;  // 0: each new caller's stream
  std::optional<int> exit_code;
};

Arguments Read(int argc, char** argv) {
  static const option kOptions[] = {{"host", required_argument, nullptr, 'H'},
                                    {"port", required_argument, nullptr, 'p'},
                                    {"lines", no_argument, nullptr, 'l'},
                                    {"help", no_argument, nullptr, 'h'},
                                    {"version", no_argument, nullptr, 'V'},
                                    {"follow", required_argument, nullptr, 'f'},
                                    {nullptr, 0, nullptr, 0}};
  Arguments arguments;
  // Ends the reading with status code after text on out.
  const auto ending = [&arguments](std::ostream& out, const std::string& text, int code) {
    out << text;
    arguments.exit_code = code;
    return arguments;
  };
  for (int option; (option = getopt_long(argc, argv, "", kOptions, nullptr)) != -1;) {
    switch (option) {
      case 'H':
        arguments.host = optarg;
        break;
      case 'p': {
        const auto port = velgate::ParseStrictInteger(optarg);
        if (!port || *port < 1 || *port > 65535)
          return ending(std::cerr, "velgate-monitor: not a port: " + std::string(optarg) + "\n", 2);
        arguments.port = *port;
        break;
      }
      case 'l':
        arguments.lines = true;
        break;
      case 'f': {
        const auto stream = std::string_view(optarg) == "new" ? std::optional<std::int32_t>(0)
                                                              : velgate::ParseStrictInteger(optarg);
        if (!stream || *stream < 0)
          return ending(std::cerr,
                        "velgate-monitor: --follow takes a stream number or new: " +
                            std::string(optarg) + "\n",
                        2);
        arguments.follow = *stream;
        break;
      }
      case 'h':
        return ending(std::cout, kUsage, 0);
      case 'V':
        return ending(std::cout, std::string("velgate-monitor ") + velgate::kVersion + "\n", 0);
      default:
        return ending(std::cerr, kUsage, 2);
    }
  }
  if (optind < argc) return ending(std::cerr, kUsage, 2);
  // Brackets around an IPv6 address are the operator's habit, not part of the address.
  if (arguments.host.size() > 2 && arguments.host.front() == '[' && arguments.host.back() == ']')
    arguments.host = arguments.host.substr(1, arguments.host.size() - 2);
  return arguments;
}

// The full screen: keys as they come, the picture at most every kRefreshMs.
class ScreenLoop {
 public:
  ScreenLoop(asio::io_context& io, velgate::TimerQueue& timers,
             velgate::viewer::MonitorModel& model, velgate::viewer::MonitorSession& session)
      : io_(io),
        model_(model),
        screen_(model, session, session),
        keyboard_(io, ::dup(STDIN_FILENO)),
        refresh_(timers, kRefreshMs, true, [this] { Refresh(); }) {
    Paint();
    WaitForKeys();
  }

 private:
  void WaitForKeys() {
    keyboard_.async_wait(asio::posix::descriptor_base::wait_read, [this](std::error_code error) {
      if (error) return;
      if (TakeKeys()) WaitForKeys();
    });
  }
  // False once a key asked to quit.
  bool TakeKeys() {
    bool keyed = false;
    for (int key; (key = terminal_.NextKey()) != -1;) {
      keyed = true;
      if (key != velgate::viewer::CursesTerminal::kResized && !screen_.Key(key)) {
        io_.stop();
        return false;
      }
    }
    if (keyed) Paint();
    return true;
  }
  void Refresh() {
    model_.DropFaded();
    if (!TakeKeys()) return;
    if (screen_.Stale()) Paint();
  }
  void Paint() { terminal_.Paint(screen_.Picture(terminal_.Width(), terminal_.Height())); }

  asio::io_context& io_;
  velgate::viewer::MonitorModel& model_;
  velgate::viewer::CursesTerminal terminal_;
  velgate::viewer::MonitorScreen screen_;
  asio::posix::stream_descriptor keyboard_;
  velgate::Timer refresh_;
};

}  // namespace

int main(int argc, char** argv) {
  const Arguments arguments = Read(argc, argv);
  if (arguments.exit_code) return *arguments.exit_code;
  if (!arguments.lines && !::isatty(STDIN_FILENO)) {
    std::cerr << "velgate-monitor: the screen needs a terminal; --lines prints events instead\n";
    return 2;
  }
  std::signal(SIGPIPE, SIG_IGN);

  asio::io_context io;
  velgate::SystemClock clock;
  velgate::TimerQueue timers(clock);
  velgate::AsioTimerDriver driver(io, timers);
  velgate::viewer::MonitorModel model(clock);
  velgate::viewer::MonitorSession session(io, timers, model, arguments.host, arguments.port);
  if (arguments.follow == 0) session.FollowEachNew();
  if (arguments.follow > 0) session.Follow(*arguments.follow);
  asio::signal_set signals(io, SIGINT, SIGTERM);
  signals.async_wait([&io](std::error_code, int) { io.stop(); });

  if (arguments.lines) {
    velgate::viewer::EventLines lines(
        clock, session, [](const std::string& line) { std::cout << line << std::endl; });
    model.SetEvents(&lines);
    session.SetEvents(&lines);
    session.Start();
    io.run();
    session.Stop();
    return 0;
  }
  ScreenLoop screen(io, timers, model, session);
  session.Start();
  io.run();
  session.Stop();
  return 0;
}
