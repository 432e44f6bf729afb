// velgate: the gateway with its desktop window. The gateway runs on a thread of its own; the
// window shows it and takes the operator's actions.

#include <QApplication>
#include <csignal>
#include <iostream>

#include "app/ProgramArguments.h"
#include "base/OperationsLine.h"
#include "platform/Clock.h"
#include "platform/Process.h"
#include "ui/qt/GatewayThread.h"
#include "ui/qt/MainWindow.h"

namespace {

const char kUsage[] =
    "usage: velgate [--dir DIR] [--quiet]\n"
    "  Runs the Velgate gateway with its window. DIR is the program's folder, where\n"
    "  Velgate.cfg, highwater.dat and error.log live (default: the current directory).\n"
    "  The operational log goes to standard error, a line per event; --quiet keeps only\n"
    "  its warnings and errors.\n"
    "  SIGTERM and SIGINT end it without writing the settings. When a file could not\n"
    "  be saved, it says which at the end and exits with status 1.\n";

}  // namespace

int main(int argc, char** argv) {
  // Read before Qt starts, so --help and --version work without a display.
  const velgate::ProgramArguments arguments =
      velgate::ReadProgramArguments(argc, argv, "velgate", kUsage, std::cout, std::cerr);
  if (arguments.exit_code) return *arguments.exit_code;
  velgate::FolderLock folder_lock;
  if (!velgate::LockProgramFolder(folder_lock, arguments.folder, "velgate", std::cerr)) return 1;

  std::signal(SIGPIPE, SIG_IGN);
  velgate::RaiseOpenFilesLimit();

  int qt_argc = 1;
  QApplication application(qt_argc, argv);
  velgate::SystemClock clock;
  velgate::qt::GatewayThread gateway(clock, true, velgate::GatewayOptions{arguments.folder, true});
  // Written on the gateway's thread, which alone records into it.
  velgate::OperationsLineWriter log_lines = velgate::StandardErrorLog(arguments);
  gateway.SetLogSink(&log_lines);
  velgate::qt::MainWindow window(gateway);
  window.Start();
  const int code = QApplication::exec();
  // The gateway's thread ends before the window that hears it goes away.
  gateway.Stop();
  const int saved = velgate::TellUnsaved(gateway.UnsavedAtEnd(), "velgate", std::cerr);
  return code != 0 ? code : saved;
}
