#include "app/ConfigFile.h"

#include <cmath>

#include "base/AddressRules.h"
#include "platform/NumberText.h"
#include "platform/RecordFile.h"

namespace velgate {
namespace {

void RecomputeListenerCount(Settings& settings) {
  if (settings.AGWEnabled != 0) {
    settings.AGWIndex = ToInteger16(settings.UserPortCount + 1.0);
    settings.NumListenPorts = ToInteger16(settings.UserPortCount + 1.0);
  } else {
    settings.NumListenPorts = ToInteger16(settings.UserPortCount);
  }
}

// Records that make no sense are bad records: the default stays. A port is a whole number from
// 1 to 65535; a window's place lies within reach of a screen.
constexpr double kFarthestTwips = 1000000;
constexpr std::int32_t kMostTableRows = 32767;

double CheckedPort(double port) {
  if (port != std::floor(port) || port < 1 || port > 65535) {
    throw RunTimeError::InvalidPropertyValue();
  }
  return port;
}

// A port kept as text (the monitor's, the bridge's) must convert as the listener converts it.
const std::string& CheckedPortText(const std::string& value) {
  CheckedPort(TextToInteger32(value));
  return value;
}

// A count or a time in seconds: a whole number from 0 to most.
std::int32_t CheckedCount(const std::string& value, std::int32_t most) {
  const std::int32_t count = ToInteger32(Val(value));
  if (count < 0 || count > most) throw RunTimeError::InvalidPropertyValue();
  return count;
}

// An address list's record: a text prefix or a network in CIDR form.
const std::string& CheckedAddressRule(const std::string& value) {
  if (KindOfAddressRule(value) == AddressRuleKind::kBad) throw RunTimeError::InvalidPropertyValue();
  return value;
}

double WindowValue(const std::string& value, bool size) {
  const double twips = Val(value);
  if (twips > kFarthestTwips || twips < (size ? 0 : -kFarthestTwips)) {
    // Far beyond 32-bit numbers it stays the overflow it always was.
    if (std::fabs(twips) > 2147483647.0) throw RunTimeError::Overflow();
    throw RunTimeError::InvalidPropertyValue();
  }
  return twips;
}

// A user port is kept once, by its decimal value, and never on the cluster port.
void AddUserPort(const std::string& value, Settings& settings) {
  std::int32_t port = ToInteger32(CheckedPort(Val(value)));
  if (port == settings.ClusterPort) return;
  std::string text = PlainNumber(port);
  for (std::int32_t i = 1; i <= settings.UserPortCount; ++i) {
    if (settings.UserPort(i) == text) return;
  }
  // Every listener has a 16-bit index, the bridge's included.
  if (settings.UserPortCount + 2 > 32767) throw RunTimeError::Overflow();
  settings.UserPortCount += 1;
  settings.SetUserPort(settings.UserPortCount, text);
  settings.PortSlotCount = settings.UserPortCount + 1;
  RecomputeListenerCount(settings);
}

void AddRecord(std::string& text, std::string_view key, std::string_view value) {
  text += Quoted(key);
  text += ',';
  text += value;
  text += "\r\n";
}

}  // namespace

void ApplyConfigRecord(const std::string& key, const std::string& value, Settings& settings) {
  if (key == "RemotePort" || key == "ClusterPort" || key == "ZQC port") {
    settings.ClusterPort = ToInteger16(CheckedPort(ToInteger16(Val(value))));
  } else if (key == "UserPort" || key == "LocalPort" || key == "ListeningPort") {
    AddUserPort(value, settings);
  } else if (key == "AGWport") {
    settings.AGWPort = CheckedPortText(value);
    RecomputeListenerCount(settings);
  } else if (key == "AGWenabled") {
    settings.AGWEnabled = ToInteger32(Val(value));
  } else if (key == "PreLoad") {
    // The table holds 32767 rows, the listeners' among them.
    const std::int16_t preload = TextToInteger16(value);
    if (preload < 0 || preload + settings.NumListenPorts > kMostTableRows) {
      throw RunTimeError::InvalidPropertyValue();
    }
    settings.PreLoad = preload;
  } else if (key == "KeepAlive") {
    settings.KeepAlive = CheckedCount(value, 86400);
  } else if (key == "RateLimit") {
    settings.RateLimit = CheckedCount(value, 100000);
  } else if (key == "RateWindow") {
    settings.RateWindow = CheckedCount(value, 86400);
  } else if (key == "MonitorPort") {
    settings.MonitorPort = CheckedPortText(value);
  } else if (key == "ListenAddress") {
    if (!IpAddress::Parse(value)) throw RunTimeError::InvalidPropertyValue();
    settings.ListenAddress.push_back(value);
  } else if (key == "ClusterAllow") {
    settings.ClusterAllow.push_back(CheckedAddressRule(value));
  } else if (key == "MonitorAllow") {
    settings.MonitorAllow.push_back(CheckedAddressRule(value));
  } else if (key == "Locked Out") {
    settings.AddLockOut(CheckedAddressRule(value));
  } else if (key == "Top") {
    settings.MainWindow.top = ToSingle(WindowValue(value, false));
  } else if (key == "Left") {
    settings.MainWindow.left = ToSingle(WindowValue(value, false));
  } else if (key == "Height") {
    settings.MainWindow.height = ToSingle(WindowValue(value, true));
  } else if (key == "Width") {
    settings.MainWindow.width = ToSingle(WindowValue(value, true));
  } else if (key == "Cfg Left") {
    settings.CfgLeft = ToInteger32(WindowValue(value, false));
  } else if (key == "Cfg Top") {
    settings.CfgTop = ToInteger32(WindowValue(value, false));
  } else if (key == "LockOuts Top") {
    settings.LockOutsTop = ToInteger32(WindowValue(value, false));
  } else if (key == "LockOuts Left") {
    settings.LockOutsLeft = ToInteger32(WindowValue(value, false));
  } else if (key == "LockOuts Height") {
    settings.LockOutsHeight = ToInteger32(WindowValue(value, true));
  } else if (key == "LockOuts Width") {
    settings.LockOutsWidth = ToInteger32(WindowValue(value, true));
  }
}

ConfigReadResult ReadConfigRecords(std::string_view bytes, Settings& settings) {
  ConfigReadResult result;
  for (std::string_view line : SplitRecordLines(bytes)) {
    if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
    std::vector<std::string> fields = ParseRecordFields(line);
    result.last_key = fields[0];
    result.last_value = fields.size() > 1 ? fields[1] : std::string();
    try {
      ApplyConfigRecord(result.last_key, result.last_value, settings);
    } catch (const RunTimeError& error) {
      result.failures.push_back(ConfigRecordFailure{result.last_key, result.last_value, error});
    }
  }
  return result;
}

void FinishConfigReading(Settings& settings) {
  // The layout follows the whole file, so a bridge switch read after the port records counts.
  RecomputeListenerCount(settings);
  // A file without user-port records still serves the default user port, as with no file.
  if (settings.NumListenPorts == 0) settings.NumListenPorts = 1;
  settings.FirstStreamIndex = settings.NumListenPorts + 1;
}

void AddBridgePortEntry(Settings& settings) {
  if (settings.AGWEnabled == 0) return;
  settings.UserPorts.emplace_back();
  settings.SetUserPort(settings.NumListenPorts, settings.AGWPort);
  settings.PortSlotCount += 1;
}

std::string WriteConfigText(const Settings& settings) {
  std::string text;
  AddRecord(text, "AGWenabled", PlainNumber(settings.AGWEnabled));
  AddRecord(text, "ClusterPort", PlainNumber(settings.ClusterPort));
  for (std::int32_t i = 1; i <= settings.UserPortCount; ++i) {
    const std::string& port = settings.UserPort(i);
    bool repeated = port == settings.AGWPort;
    for (std::int32_t earlier = 1; earlier < i && !repeated; ++earlier) {
      repeated = settings.UserPort(earlier) == port;
    }
    if (!repeated) AddRecord(text, "UserPort", Quoted(port));
  }
  AddRecord(text, "AGWport", Quoted(settings.AGWPort));
  AddRecord(text, "MonitorPort", Quoted(settings.MonitorPort));
  for (const std::string& address : settings.ListenAddress)
    AddRecord(text, "ListenAddress", Quoted(address));
  AddRecord(text, "PreLoad", PlainNumber(settings.PreLoad));
  // Written only when the operator set it: a file without it keeps its every byte.
  if (settings.KeepAlive != Settings{}.KeepAlive)
    AddRecord(text, "KeepAlive", PlainNumber(settings.KeepAlive));
  if (settings.RateLimit != Settings{}.RateLimit)
    AddRecord(text, "RateLimit", PlainNumber(settings.RateLimit));
  if (settings.RateWindow != Settings{}.RateWindow)
    AddRecord(text, "RateWindow", PlainNumber(settings.RateWindow));
  for (std::int32_t i = 1; i <= settings.LockOutCount; ++i) {
    AddRecord(text, "Locked Out", Quoted(settings.LockOuts[static_cast<std::size_t>(i)]));
  }
  for (const std::string& prefix : settings.ClusterAllow)
    AddRecord(text, "ClusterAllow", Quoted(prefix));
  for (const std::string& prefix : settings.MonitorAllow)
    AddRecord(text, "MonitorAllow", Quoted(prefix));
  AddRecord(text, "Top", SingleText(settings.MainWindow.top));
  AddRecord(text, "Left", SingleText(settings.MainWindow.left));
  AddRecord(text, "Height", SingleText(settings.MainWindow.height));
  AddRecord(text, "Width", SingleText(settings.MainWindow.width));
  AddRecord(text, "Cfg Left", PlainNumber(settings.CfgLeft));
  AddRecord(text, "Cfg Top", PlainNumber(settings.CfgTop));
  AddRecord(text, "LockOuts Top", PlainNumber(settings.LockOutsTop));
  AddRecord(text, "LockOuts Left", PlainNumber(settings.LockOutsLeft));
  AddRecord(text, "LockOuts Height", PlainNumber(settings.LockOutsHeight));
  AddRecord(text, "LockOuts Width", PlainNumber(settings.LockOutsWidth));
  return text;
}

}  // namespace velgate
