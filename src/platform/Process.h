#pragma once
// What the gateway asks of the operating system besides sockets, timers and files.

#include <string>

namespace velgate {

/// The first non-loopback IPv4 address of the machine, else "127.0.0.1".
std::string LocalIPv4Address();
/// Whether a short write to the descriptor would go out now, without waiting for its reader.
bool WritableNow(int descriptor);
/// Raises the open-files limit to the hard limit (a stream is a descriptor); false if refused.
bool RaiseOpenFilesLimit();
/// Raises the process's scheduling priority where allowed; false if refused.
bool RaiseProcessPriority();

}  // namespace velgate
