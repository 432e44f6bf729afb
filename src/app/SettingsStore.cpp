// ReadFix and WriteFix: Velgate.cfg and highwater.dat between the folder and the settings.

#include "app/ConfigFile.h"
#include "app/Gateway.h"
#include "platform/NumberText.h"
#include "protection/HighwaterFile.h"

namespace velgate {

void Gateway::ReadFix() {
  settings_ = Settings{};
  ConfigReadResult read;
  try {
    std::optional<std::string> bytes = ReadWholeFile(folder_.File("Velgate.cfg"));
    if (bytes) read = ReadConfigRecords(*bytes, settings_);
  } catch (const RunTimeError& error) {
    ReadFixFailed(error, "", "");
  }
  // One bad record costs only itself; the records after it were still read.
  for (const ConfigRecordFailure& failure : read.failures) {
    ReadFixFailed(failure.error, failure.key, failure.value);
  }
  FinishConfigReading(settings_);
  ReadHighwaterFile(read.last_key, read.last_value);
  AddBridgePortEntry(settings_);
}

void Gateway::ReadFixFailed(const RunTimeError& error, const std::string& key,
                            const std::string& value) {
  view_.UpdateLabels([&](MainLabels& labels) {
    labels.txtError =
        "Error Nr " + PlainNumber(error.Number()) + " \"Read Fix\" " + error.Description();
  });
  ErrorLog("ReadFix", key + " " + value);
}

void Gateway::ReadHighwaterFile(const std::string& last_key, const std::string& last_value) {
  std::optional<std::string> bytes;
  try {
    bytes = ReadWholeFile(folder_.File("highwater.dat"));
    if (!bytes) return;
    marks_.AllTimeHigh = ReadHighwaterCount(*bytes);
  } catch (const RunTimeError& error) {
    ReadFixFailed(error, last_key, last_value);
    return;
  }
  const std::string count = SignedBlankNumber(marks_.AllTimeHigh);
  marks_.AllTimeHighDate = ReadHighwaterDate(*bytes);
  view_.UpdateLabels([&](MainLabels& labels) {
    labels.Label4 = count;
    labels.Label5Tip = marks_.AllTimeHighDate.empty()
                           ? "All-Time Highwater Mark. "
                           : "All-Time Highwater Mark (" + marks_.AllTimeHighDate + ")";
  });
  SendToMonitor("^ZQ90^" + count + "^" + marks_.AllTimeHighDate);
}

void Gateway::WriteFix() {
  try {
    WriteFileReplacing(folder_.File("Velgate.cfg"), WriteConfigText(settings_));
  } catch (const RunTimeError& error) {
    ErrorLog("WriteFix ", error.Description());
  }
}

}  // namespace velgate
