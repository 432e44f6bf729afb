#pragma once
// Velgate.cfg as text: reading its records into the settings and writing the settings back in
// the canonical order. No file access here; the gateway reads and writes the bytes.

#include <string>
#include <string_view>
#include <vector>

#include "base/Settings.h"
#include "platform/RunTimeError.h"

namespace velgate {

/// A record whose value could not be taken; the records after it are still read.
struct ConfigRecordFailure {
  std::string key;
  std::string value;
  RunTimeError error;
};

/// What reading the records gave besides the settings.
struct ConfigReadResult {
  std::vector<ConfigRecordFailure> failures;  ///< in file order
  std::string last_key;                       ///< the last record read
  std::string last_value;
};

/// Applies every record of the file's text to settings, in file order. A record that fails is
/// reported and skipped.
ConfigReadResult ReadConfigRecords(std::string_view bytes, Settings& settings);

/// Applies one record (key, value) to settings; throws RunTimeError when the value is unusable.
void ApplyConfigRecord(const std::string& key, const std::string& value, Settings& settings);

/// Ends the reading: at least one listener, and the first stream index after the listeners.
void FinishConfigReading(Settings& settings);

/// Adds the bridge port as the entry of the last listener, when the bridge is enabled.
void AddBridgePortEntry(Settings& settings);

/// The whole file as WriteFix writes it: canonical order, CR LF line ends.
std::string WriteConfigText(const Settings& settings);

}  // namespace velgate
