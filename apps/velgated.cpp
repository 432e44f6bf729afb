// velgated: the gateway without a window. Operator lines on standard input; the operational
// log, alerts and status lines on standard error; a service manager (systemd) told of its state.

#include <asio/io_context.hpp>
#include <asio/signal_set.hpp>
#include <csignal>
#include <iostream>
#include <memory>
#include <string>

#include "app/Gateway.h"
#include "app/ProgramArguments.h"
#include "base/OperationsLine.h"
#include "console/HeadlessConsole.h"
#include "console/StdinLines.h"
#include "control/ControlServer.h"
#include "platform/AsioTimerDriver.h"
#include "platform/Clock.h"
#include "platform/Process.h"
#include "platform/ServiceNotify.h"
#include "platform/TimerQueue.h"

namespace {

const char kUsage[] =
    "usage: velgated [--dir DIR] [--quiet] [--control PATH]\n"
    "  Runs the Velgate gateway without a window. DIR is the program's folder, where\n"
    "  Velgate.cfg, highwater.dat and error.log live (default: the current directory).\n"
    "  The operational log goes to standard error, a line per event; --quiet keeps only\n"
    "  its warnings and errors.\n"
    "  velgatectl operates the running gateway through its control socket, PATH\n"
    "  (default: velgated.sock in DIR).\n"
    "  Standard input takes operator lines:\n"
    "    send S TEXT   send TEXT to the cluster as input of stream S\n"
    "    disc          disconnect the cluster server\n"
    "    quit          write the settings and end the program\n"
    "  SIGHUP reads Velgate.cfg again without dropping anyone (as velgatectl reload).\n"
    "  SIGTERM and SIGINT end it without writing the settings. When a file could not\n"
    "  be saved, it says which at the end and exits with status 1.\n";

}  // namespace

int main(int argc, char** argv) {
  const velgate::ProgramArguments arguments =
      velgate::ReadProgramArguments(argc, argv, "velgated", kUsage, std::cout, std::cerr, true);
  if (arguments.exit_code) return *arguments.exit_code;
  const std::string& folder = arguments.folder;
  velgate::FolderLock folder_lock;
  if (!velgate::LockProgramFolder(folder_lock, folder, "velgated", std::cerr)) return 1;

  std::signal(SIGPIPE, SIG_IGN);
  velgate::RaiseOpenFilesLimit();

  asio::io_context io;
  velgate::SystemClock clock;
  velgate::TimerQueue timers(clock);
  velgate::AsioTimerDriver driver(io, timers);
  const std::unique_ptr<velgate::ServiceNotify> service = velgate::SystemServiceNotify();
  velgate::Gateway gateway(io, clock, timers, velgate::GatewayOptions{folder, true, service.get()});
  velgate::OperationsLineWriter log_lines = velgate::StandardErrorLog(arguments);
  gateway.Log().SetSink(&log_lines);
  velgate::HeadlessConsole console(gateway, std::cerr);
  gateway.View().SetListener(&console);
  gateway.SetShutdownHandler([&io] { io.stop(); });

  asio::signal_set signals(io);
  gateway.WatchSignals(signals);
  velgate::StdinLines operator_lines(
      io, [&console](const std::string& line) { console.Execute(line); });

  gateway.FormLoad();
  // Served once the settings are read: every command acts on the settings in force.
  velgate::ControlServer control(io, clock, timers, gateway, gateway.Log());
  control.Open(arguments.control.empty() ? gateway.Folder() + "/velgated.sock" : arguments.control);
  io.run();
  control.Close();
  gateway.View().SetListener(nullptr);
  gateway.Log().SetSink(nullptr);
  return velgate::TellUnsaved(gateway.UnsavedAtEnd(), "velgated", std::cerr);
}
