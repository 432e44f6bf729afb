#pragma once
// The arguments both programs take: --dir DIR, --quiet, --help, --version; and velgated's
// --control PATH.

#include <optional>
#include <ostream>
#include <string>

#include "base/OperationsLine.h"
#include "platform/FolderLock.h"

namespace velgate {

struct ProgramArguments {
  /// The program's folder (default: the current directory).
  std::string folder = ".";
  /// The operational log keeps only its warnings and errors.
  bool quiet = false;
  /// The control socket's path; empty: velgated.sock in the program's folder.
  std::string control;
  /// Set when the program ends at once: 0 after --help or --version, 2 after a bad argument.
  std::optional<int> exit_code;
};

/// Reads argv; --help prints usage on out, mistakes are named on error followed by the usage.
/// --control is taken only where the program has a control socket.
ProgramArguments ReadProgramArguments(int argc, char** argv, const std::string& program,
                                      const std::string& usage, std::ostream& out,
                                      std::ostream& error, bool control_socket = false);

/// Takes the lock of the program's folder before anything there is touched; false, with one
/// line on error ("another velgated is running in FOLDER (pid N)"), when another gateway holds
/// it.
bool LockProgramFolder(FolderLock& lock, const std::string& folder, const std::string& program,
                       std::ostream& error);

/// The program's exit status after the gateway ended: 0, or 1 with one line on error
/// ("velgated: not saved: Velgate.cfg (Permission denied)") when something was not saved.
int TellUnsaved(const std::string& failure, const std::string& program, std::ostream& error);

/// The operational log on standard error, as the arguments ask. A reader that stops (a full
/// pipe, a paused terminal) costs lines, never the gateway's time.
OperationsLineWriter StandardErrorLog(const ProgramArguments& arguments);

}  // namespace velgate
