#pragma once
// The configuration window's fields as text, apart from any window: filled from the settings,
// edited by the operator, and applied back by Save in its order of steps. Saved ports take
// effect at the next start; the listeners that run are not touched.

#include <cstdint>
#include <string>
#include <vector>

#include "base/Settings.h"

namespace velgate {

struct ConfigForm {
  std::string monitor_port;
  std::string cluster_port;
  std::string preload;
  std::string agw_port;
  bool agw_enabled = false;
  /// The user-port rows in order; an emptied row ("X") stays as an empty text.
  std::vector<std::string> user_ports;
  /// The window's position in twips.
  std::int32_t left = 0;
  std::int32_t top = 0;
};

/// The form as it opens.
ConfigForm LoadConfigForm(const Settings& settings);

/// Save's steps: monitor port, cluster port, the non-empty user-port rows, bridge port and
/// switch, PreLoad, the window's place. Throws RunTimeError when the cluster port or PreLoad is
/// not a 16-bit number; the steps before it keep their new values.
void ApplyConfigForm(const ConfigForm& form, Settings& settings);

}  // namespace velgate
