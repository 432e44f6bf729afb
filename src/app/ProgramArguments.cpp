#include "app/ProgramArguments.h"

#include <getopt.h>
#include <unistd.h>

#include <iostream>

#include "base/Version.h"
#include "platform/Process.h"
#include "platform/ProgramFolder.h"

namespace velgate {

ProgramArguments ReadProgramArguments(int argc, char** argv, const std::string& program,
                                      const std::string& usage, std::ostream& out,
                                      std::ostream& error, bool control_socket) {
  ProgramArguments arguments;
  const option options[] = {
      {"dir", required_argument, nullptr, 'd'},     {"quiet", no_argument, nullptr, 'q'},
      {"control", required_argument, nullptr, 'c'}, {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, 'v'},       {nullptr, 0, nullptr, 0}};
  opterr = 0;
  optind = 1;
  const auto mistake = [&](const std::string& what) {
    error << program << ": " << what << "\n" << usage;
    arguments.exit_code = 2;
    return arguments;
  };
  for (int choice; (choice = getopt_long(argc, argv, ":h", options, nullptr)) != -1;) {
    switch (choice) {
      case 'd':
        arguments.folder = optarg;
        break;
      case 'q':
        arguments.quiet = true;
        break;
      case 'c':
        if (!control_socket)
          return mistake("unknown argument \"" + std::string(argv[optind - 1]) + "\"");
        arguments.control = optarg;
        break;
      case 'h':
        out << usage;
        arguments.exit_code = 0;
        return arguments;
      case 'v':
        out << kVersion << "\n";
        arguments.exit_code = 0;
        return arguments;
      case ':':
        return mistake(std::string(argv[optind - 1]) + " needs a value");
      default:
        return mistake("unknown argument \"" + std::string(argv[optind - 1]) + "\"");
    }
  }
  if (optind < argc) return mistake("unknown argument \"" + std::string(argv[optind]) + "\"");
  return arguments;
}

bool LockProgramFolder(FolderLock& lock, const std::string& folder, const std::string& program,
                       std::ostream& error) {
  const ProgramFolder where(folder);
  if (lock.Take(where.Path(), program)) return true;
  const std::string holder = lock.HolderProgram().empty() ? "gateway" : lock.HolderProgram();
  error << program << ": another " << holder << " is running in " << where.Path()
        << (lock.HolderPid().empty() ? "" : " (pid " + lock.HolderPid() + ")") << "\n";
  return false;
}

OperationsLineWriter StandardErrorLog(const ProgramArguments& arguments) {
  return OperationsLineWriter(std::cerr, arguments.quiet,
                              [] { return WritableNow(STDERR_FILENO); });
}

int TellUnsaved(const std::string& unsaved, const std::string& program, std::ostream& error) {
  if (unsaved.empty()) return 0;
  error << program << ": not saved: " << unsaved << '\n';
  return 1;
}

}  // namespace velgate
