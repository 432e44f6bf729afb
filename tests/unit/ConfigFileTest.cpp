#include "app/ConfigFile.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "RunTimeErrorNumber.h"
#include "base/Settings.h"

namespace velgate {
namespace {

using velgate::testing::kOverflow;
using velgate::testing::kTypeMismatch;

// "Key=value;Key=value" as the file's records, values quoted, CR LF after each.
std::string File(const std::string& records) {
  std::string text = "\"";
  for (char c : records) text += c == '=' ? "\",\"" : c == ';' ? "\"\r\n\"" : std::string(1, c);
  return records.empty() ? "" : text + "\"\r\n";
}

// Reads a file's text as start-up does, the bridge entry included.
Settings StartWith(const std::string& bytes, ConfigReadResult* result = nullptr) {
  Settings settings;
  ConfigReadResult read = ReadConfigRecords(bytes, settings);
  FinishConfigReading(settings);
  AddBridgePortEntry(settings);
  if (result != nullptr) *result = std::move(read);
  return settings;
}

// The listeners' ports joined by ",".
std::string Listeners(const Settings& settings) {
  std::string ports;
  for (int i = 1; i <= settings.NumListenPorts; ++i) ports += settings.UserPort(i) + ",";
  return ports.substr(0, ports.size() - 1);
}

const std::string kDefaultFile =
    "\"AGWenabled\",0\r\n\"ClusterPort\",9003\r\n\"AGWport\",\"9002\"\r\n"
    "\"MonitorPort\",\"15555\"\r\n\"PreLoad\",5\r\n\"Top\",0\r\n\"Left\",0\r\n\"Height\",4000\r\n"
    "\"Width\",4000\r\n\"Cfg Left\",0\r\n\"Cfg Top\",0\r\n\"LockOuts Top\",0\r\n"
    "\"LockOuts Left\",0\r\n\"LockOuts Height\",5625\r\n\"LockOuts Width\",3675\r\n";

TEST(ConfigFileTest, FirstStartWritesTheCanonicalDefaultFile) {
  EXPECT_EQ(WriteConfigText(StartWith("")), kDefaultFile);
  EXPECT_EQ(WriteConfigText(StartWith(kDefaultFile)), kDefaultFile);
  // Keys are compared with their case; unknown keys are skipped.
  EXPECT_EQ(WriteConfigText(StartWith(File("top=999;userport=7400;clusterport=9100;Colour=red"))),
            kDefaultFile);
}

TEST(ConfigFileTest, UserPortsBridgeAndLockOutsReadAndWriteInTheirPlaces) {
  const std::string file =
      "\"AGWenabled\",1\r\n\"ClusterPort\",9100\r\n\"UserPort\",\"7373\"\r\n"
      "\"UserPort\",\"8000\"\r\n\"AGWport\",\"9200\"\r\n\"MonitorPort\",\"15556\"\r\n"
      "\"PreLoad\",12\r\n\"Locked Out\",\"10.0.0.\"\r\n\"Locked Out\",\"44.131, 7\"\r\n"
      "\"Top\",120.5\r\n\"Left\",-45\r\n\"Height\",5000.25\r\n\"Width\",7000\r\n"
      "\"Cfg Left\",-120\r\n\"Cfg Top\",-200\r\n\"LockOuts Top\",1\r\n\"LockOuts Left\",2\r\n"
      "\"LockOuts Height\",3\r\n\"LockOuts Width\",4\r\n";
  const Settings settings = StartWith(file);
  EXPECT_EQ(WriteConfigText(settings), file);
  EXPECT_EQ(Listeners(settings), "7373,8000,9200");
  EXPECT_EQ(settings.AGWIndex, 3);
  EXPECT_EQ(settings.FirstStreamIndex, 4);
  EXPECT_EQ(settings.LockOuts.at(2), "44.131, 7");
}

TEST(ConfigFileTest, ClusterPortKeyAliasesAreWrittenBackAsClusterPort) {
  const std::pair<const char*, int> cases[] = {{"RemotePort=9100", 9100},
                                               {"ZQC port=9101", 9101},
                                               {"ClusterPort= 9102 ", 9102},
                                               {"ClusterPort=9103.5", 9104},
                                               {"ZQC port=9100;ClusterPort=9105", 9105}};
  for (const auto& [records, port] : cases) {
    std::string expected = kDefaultFile;
    expected.replace(expected.find("9003"), 4, std::to_string(port));
    EXPECT_EQ(WriteConfigText(StartWith(File(records))), expected) << records;
  }
}

TEST(ConfigFileTest, ListenersFromTheUserPortAndBridgeRecords) {
  // Records, the listeners' ports, the bridge's listener.
  const std::tuple<const char*, const char*, int> cases[] = {
      {"UserPort=07373;UserPort=7373", "7373", 0},
      {"UserPort=7373;UserPort=7374;UserPort=7373", "7373,7374", 0},
      {"LocalPort=7374;ListeningPort=7375;UserPort= 7376 ", "7374,7375,7376", 0},
      {"UserPort=9003;UserPort=7373", "7373", 0},  // the cluster's port is no user port
      {"RemotePort=7373;UserPort=7373;UserPort=7374", "7374", 0},
      {"UserPort=abc", "0", 0},
      {"AGWenabled=1;UserPort=7373;UserPort=7374;AGWport=9002", "7373,7374,9002", 3},
      // Without a user-port record one listener remains: the default port, or the bridge.
      {"", "7373", 0},
      {"AGWport=9100", "7373", 0},
      {"AGWenabled=1;AGWport=9100", "9100", 1},
      {"AGWenabled=-1;MonitorPort=15556", "9002", 1}};
  for (const auto& [records, listeners, bridge_index] : cases) {
    const Settings settings = StartWith(File(records));
    EXPECT_EQ(Listeners(settings), listeners) << records;
    EXPECT_EQ(settings.FirstStreamIndex, settings.NumListenPorts + 1) << records;
    EXPECT_EQ(settings.AGWIndex, bridge_index) << records;
  }
  // Records end at CR LF, LF or CR.
  EXPECT_EQ(Listeners(StartWith("\"UserPort\",\"7373\"\n\"UserPort\",\"74\"\r\"UserPort\",75")),
            "7373,74,75");
}

TEST(ConfigFileTest, ABadRecordIsReportedAndTheRestIsStillRead) {
  const std::tuple<const char*, const char*, int> cases[] = {
      {"PreLoad", "abc", kTypeMismatch},
      {"PreLoad", "", kTypeMismatch},
      {"PreLoad", "40000", kOverflow},
      {"Cfg Left", "3000000000", kOverflow},
      {"Width", "1000000000000000000000000000000000000000000", kOverflow}};
  for (const auto& [key, value, error] : cases) {
    const std::string file =
        File("PreLoad=7;" + std::string(key) + "=" + value + ";Locked Out=10.1.2.;UserPort=7380");
    ConfigReadResult result;
    const Settings settings = StartWith(file, &result);
    ASSERT_EQ(result.failures.size(), 1u) << file;
    EXPECT_EQ(result.failures[0].key + "=" + result.failures[0].value,
              key + ("=" + std::string(value)));
    EXPECT_EQ(result.failures[0].error.Number(), error) << file;
    EXPECT_EQ(settings.PreLoad, 7) << file;  // the last good value
    EXPECT_EQ(settings.LockOuts.at(1), "10.1.2.") << file;
    EXPECT_EQ(Listeners(settings), "7380") << file;
  }
}

TEST(ConfigFileTest, WritingDoesNotChangeThePortList) {
  // 9002 is the bridge's port and is not written; the repeated 7373 is written once.
  const std::vector<std::string> ports = {"7373", "9002", "7373", "7374"};
  Settings settings;
  for (const std::string& port : ports) settings.SetUserPort(++settings.UserPortCount, port);
  const std::string text = WriteConfigText(settings);
  EXPECT_EQ(WriteConfigText(settings), text);
  for (int i = 1; i <= 4; ++i) EXPECT_EQ(settings.UserPort(i), ports[i - 1]);
  EXPECT_EQ(Listeners(StartWith(text)), "7373,7374");
}

}  // namespace
}  // namespace velgate
