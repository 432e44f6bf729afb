#pragma once

namespace velgate {

/// The program's version, as the cluster server and the title are told it.
inline constexpr const char* kVersion = "3.02";

}  // namespace velgate
