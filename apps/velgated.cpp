// velgated: the gateway without a window. Operator lines on standard input, alerts and status
// lines on standard error.

#include <getopt.h>

#include <asio/io_context.hpp>
#include <asio/signal_set.hpp>
#include <csignal>
#include <iostream>
#include <string>

#include "app/Gateway.h"
#include "base/Version.h"
#include "console/HeadlessConsole.h"
#include "console/StdinLines.h"
#include "platform/AsioTimerDriver.h"
#include "platform/Clock.h"
#include "platform/Process.h"
#include "platform/TimerQueue.h"

namespace {

void PrintUsage(std::ostream& out) {
  out << "usage: velgated [--dir DIR]\n"
         "  Runs the Velgate gateway without a window. DIR is the program's folder, where\n"
         "  Velgate.cfg, highwater.dat and error.log live (default: the current directory).\n"
         "  Standard input takes operator lines:\n"
         "    send S TEXT   send TEXT to the cluster as input of stream S\n"
         "    disc          disconnect the cluster server\n"
         "    quit          write the settings and end the program\n"
         "  SIGTERM and SIGINT end it without writing the settings.\n";
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder = ".";
  const option options[] = {{"dir", required_argument, nullptr, 'd'},
                            {"help", no_argument, nullptr, 'h'},
                            {"version", no_argument, nullptr, 'v'},
                            {nullptr, 0, nullptr, 0}};
  opterr = 0;
  for (int choice; (choice = getopt_long(argc, argv, ":h", options, nullptr)) != -1;) {
    switch (choice) {
      case 'd':
        folder = optarg;
        break;
      case 'h':
        PrintUsage(std::cout);
        return 0;
      case 'v':
        std::cout << velgate::kVersion << "\n";
        return 0;
      case ':':
        std::cerr << "velgated: " << argv[optind - 1] << " needs a value\n";
        PrintUsage(std::cerr);
        return 2;
      default:
        std::cerr << "velgated: unknown argument \"" << argv[optind - 1] << "\"\n";
        PrintUsage(std::cerr);
        return 2;
    }
  }
  if (optind < argc) {
    std::cerr << "velgated: unknown argument \"" << argv[optind] << "\"\n";
    PrintUsage(std::cerr);
    return 2;
  }

  std::signal(SIGPIPE, SIG_IGN);
  velgate::RaiseOpenFilesLimit();

  asio::io_context io;
  velgate::SystemClock clock;
  velgate::TimerQueue timers(clock);
  velgate::AsioTimerDriver driver(io, timers);
  velgate::Gateway gateway(io, clock, timers, velgate::GatewayOptions{folder, true});
  velgate::HeadlessConsole console(gateway, std::cerr);
  gateway.View().SetListener(&console);
  gateway.SetShutdownHandler([&io] { io.stop(); });

  asio::signal_set signals(io, SIGINT, SIGTERM);
  signals.async_wait([&gateway](const std::error_code& error, int) {
    if (!error) gateway.CloseByProgram();
  });
  velgate::StdinLines operator_lines(
      io, [&console](const std::string& line) { console.Execute(line); });

  gateway.FormLoad();
  io.run();
  gateway.View().SetListener(nullptr);
  return 0;
}
