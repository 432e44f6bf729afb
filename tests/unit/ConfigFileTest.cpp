#include "app/ConfigFile.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "RunTimeErrorNumber.h"
#include "app/Settings.h"

namespace velgate {
namespace {

using velgate::testing::kOverflow;
using velgate::testing::kTypeMismatch;

// Records joined with CR LF, each ended by one, as the file holds them.
std::string Lines(std::initializer_list<std::string_view> lines) {
  std::string text;
  for (std::string_view line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

// Reads a file's text the way start-up does, up to the bridge entry.
Settings ReadSettings(std::string_view bytes, ConfigReadResult* result = nullptr) {
  Settings settings;
  ConfigReadResult read = ReadConfigRecords(bytes, settings);
  FinishConfigReading(settings);
  if (result != nullptr) *result = std::move(read);
  return settings;
}

// Reads a file's text as start-up does, the bridge entry included.
Settings StartWith(std::string_view bytes) {
  Settings settings = ReadSettings(bytes);
  AddBridgePortEntry(settings);
  return settings;
}

std::vector<std::string> PortsOf(const Settings& settings, int count) {
  std::vector<std::string> ports;
  for (int i = 1; i <= count; ++i) ports.push_back(settings.UserPort(i));
  return ports;
}

// The file as the first start writes it; a headless build keeps the default window values.
const std::string kDefaultFile = Lines({
    R"("AGWenabled",0)",
    R"("ClusterPort",9003)",
    R"("AGWport","9002")",
    R"("MonitorPort","15555")",
    R"("PreLoad",5)",
    R"("Top",0)",
    R"("Left",0)",
    R"("Height",4000)",
    R"("Width",4000)",
    R"("Cfg Left",0)",
    R"("Cfg Top",0)",
    R"("LockOuts Top",0)",
    R"("LockOuts Left",0)",
    R"("LockOuts Height",5625)",
    R"("LockOuts Width",3675)",
});

TEST(ConfigFileTest, FirstStartWritesTheCanonicalDefaultFile) {
  EXPECT_EQ(WriteConfigText(StartWith("")), kDefaultFile);
}

TEST(ConfigFileTest, UserPortsAndLockOutsStandInTheirPlaces) {
  Settings settings;
  settings.AGWEnabled = 1;
  settings.UserPortCount = 2;
  settings.SetUserPort(1, "7373");
  settings.SetUserPort(2, "7374");
  settings.NumListenPorts = 3;
  settings.AGWIndex = 3;
  settings.AddLockOut("10.0.0.");
  settings.AddLockOut("192.168.1.5");
  settings.MainWindow = {200, 300, 5000, 7000};
  settings.CfgLeft = -120;
  AddBridgePortEntry(settings);  // start-up writes after the bridge entry is added

  EXPECT_EQ(
      WriteConfigText(settings),
      Lines({R"("AGWenabled",1)", R"("ClusterPort",9003)", R"("UserPort","7373")",
             R"("UserPort","7374")", R"("AGWport","9002")", R"("MonitorPort","15555")",
             R"("PreLoad",5)", R"("Locked Out","10.0.0.")", R"("Locked Out","192.168.1.5")",
             R"("Top",200)", R"("Left",300)", R"("Height",5000)", R"("Width",7000)",
             R"("Cfg Left",-120)", R"("Cfg Top",0)", R"("LockOuts Top",0)", R"("LockOuts Left",0)",
             R"("LockOuts Height",5625)", R"("LockOuts Width",3675)"}));
}

TEST(ConfigFileTest, ClusterPortKeysAreReadAndWrittenBackAsClusterPort) {
  struct Case {
    const char* record;
    int cluster_port;
  };
  const Case cases[] = {
      {R"("RemotePort",9100)", 9100},      {R"("ZQC port",9101)", 9101},
      {R"("ClusterPort"," 9102 ")", 9102}, {R"("ClusterPort",9103.5)", 9104},
      {R"("clusterport",9104)", 9003},  // keys are compared with their case
  };
  for (const Case& c : cases) {
    const std::string text = WriteConfigText(StartWith(Lines({c.record})));
    EXPECT_NE(text.find("\"ClusterPort\"," + std::to_string(c.cluster_port) + "\r\n"),
              std::string::npos)
        << c.record << "\n"
        << text;
    EXPECT_EQ(text.find("RemotePort"), std::string::npos);
    EXPECT_EQ(text.find("ZQC port"), std::string::npos);
  }
  // For a single setting the last record wins.
  EXPECT_EQ(ReadSettings(Lines({R"("ZQC port",9100)", R"("ClusterPort",9200)"})).ClusterPort, 9200);
}

TEST(ConfigFileTest, UnknownAndLowerCaseKeysAreSkipped) {
  const Settings settings = ReadSettings(
      Lines({R"("top",999)", R"("userport","7400")", R"("Colour","red")", R"("Left",150)"}));
  EXPECT_EQ(WriteConfigText(settings), WriteConfigText(ReadSettings(Lines({R"("Left",150)"}))));
  EXPECT_EQ(settings.MainWindow.top, 0);
  EXPECT_EQ(settings.MainWindow.left, 150);
}

TEST(ConfigFileTest, UserPortRecordsGiveOnePortPerNumber) {
  struct Case {
    std::vector<std::string> records;
    std::vector<std::string> ports;
  };
  const Case cases[] = {
      {{R"("UserPort","07373")", R"("UserPort","7373")"}, {"7373"}},
      {{R"("UserPort","7373")", R"("UserPort","7374")", R"("UserPort","7373")"}, {"7373", "7374"}},
      {{R"("LocalPort","7374")", R"("ListeningPort",7375)", R"("UserPort"," 7376 ")"},
       {"7374", "7375", "7376"}},
      {{R"("UserPort","9003")", R"("UserPort","7373")"}, {"7373"}},  // the cluster's port
      {{R"("RemotePort",7373)", R"("UserPort","7373")", R"("UserPort","7374")"}, {"7374"}},
      {{R"("UserPort","abc")"}, {"0"}}};
  for (const Case& c : cases) {
    std::string file;
    for (const std::string& record : c.records) file += record + "\r\n";
    const Settings settings = ReadSettings(file);
    const int count = static_cast<int>(c.ports.size());
    EXPECT_EQ(settings.UserPortCount, count) << file;
    EXPECT_EQ(PortsOf(settings, count), c.ports) << file;
    EXPECT_EQ(settings.NumListenPorts, count) << file;
    EXPECT_EQ(settings.FirstStreamIndex, count + 1) << file;
    EXPECT_EQ(settings.PortSlotCount, count + 1) << file;
  }
}

TEST(ConfigFileTest, BridgeListensAfterTheUserPorts) {
  const Settings settings = StartWith(Lines({R"("AGWenabled",1)", R"("UserPort","7373")",
                                             R"("UserPort","7374")", R"("AGWport","9002")"}));
  EXPECT_EQ(settings.NumListenPorts, 3);
  EXPECT_EQ(settings.AGWIndex, 3);
  EXPECT_EQ(settings.FirstStreamIndex, 4);
  EXPECT_EQ(settings.PortSlotCount, 4);
  EXPECT_EQ(PortsOf(settings, 3), (std::vector<std::string>{"7373", "7374", "9002"}));
}

TEST(ConfigFileTest, AFileWithoutUserPortsKeepsOneListener) {
  struct Case {
    std::string file;
    std::string listener_port;
    int agw_index;  // 0: the one listener is the default user port
  };
  const Case cases[] = {{"", "7373", 0},
                        {kDefaultFile, "7373", 0},
                        {Lines({R"("AGWport","9100")"}), "7373", 0},
                        {Lines({R"("AGWenabled",1)", R"("AGWport","9100")"}), "9100", 1},
                        {Lines({R"("AGWenabled",-1)", R"("MonitorPort","15556")"}), "9002", 1}};
  for (const Case& c : cases) {
    const Settings settings = StartWith(c.file);
    EXPECT_EQ(settings.NumListenPorts, 1) << c.file;
    EXPECT_EQ(settings.FirstStreamIndex, 2) << c.file;
    EXPECT_EQ(settings.UserPort(1), c.listener_port) << c.file;
    if (c.agw_index != 0) {
      EXPECT_EQ(settings.AGWIndex, c.agw_index) << c.file;
    }
  }
}

TEST(ConfigFileTest, ABadRecordIsReportedAndTheRestIsStillRead) {
  struct Case {
    const char* key;
    const char* value;
    int error;
  };
  const Case cases[] = {{"PreLoad", "abc", kTypeMismatch},
                        {"PreLoad", "", kTypeMismatch},
                        {"PreLoad", "40000", kOverflow},
                        {"ClusterPort", "40000", kOverflow},
                        {"AGWenabled", "99999999999", kOverflow},
                        {"Cfg Left", "3000000000", kOverflow},
                        {"Width", "1000000000000000000000000000000000000000000", kOverflow}};
  for (const Case& c : cases) {
    const std::string file =
        Lines({R"("PreLoad",7)", "\"" + std::string(c.key) + "\",\"" + c.value + "\"",
               R"("Locked Out","10.1.2.")", R"("UserPort","7380")"});
    ConfigReadResult result;
    const Settings settings = ReadSettings(file, &result);
    ASSERT_EQ(result.failures.size(), 1u) << file;
    EXPECT_EQ(result.failures[0].key, c.key);
    EXPECT_EQ(result.failures[0].value, c.value);
    EXPECT_EQ(result.failures[0].error.Number(), c.error) << file;
    EXPECT_EQ(settings.PreLoad, 7) << file;  // the setting keeps its last good value
    EXPECT_EQ(settings.LockOutCount, 1) << file;
    EXPECT_EQ(settings.LockOuts.at(1), "10.1.2.") << file;
    EXPECT_EQ(PortsOf(settings, settings.UserPortCount), (std::vector<std::string>{"7380"}));
    EXPECT_EQ(result.last_key, "UserPort");
    EXPECT_EQ(result.last_value, "7380");
  }
}

TEST(ConfigFileTest, WritingDoesNotChangeThePortList) {
  // 9002 is the bridge's port and is not written; the repeated 7373 is written once.
  Settings settings;
  const char* const ports[] = {"7373", "9002", "7373", "7374"};
  for (const char* port : ports) settings.SetUserPort(++settings.UserPortCount, port);

  const std::string first = WriteConfigText(settings);
  const std::string second = WriteConfigText(settings);
  EXPECT_EQ(first, second);
  EXPECT_EQ(PortsOf(StartWith(first), 2), (std::vector<std::string>{"7373", "7374"}));
  EXPECT_EQ(StartWith(first).UserPortCount, 2);
}

TEST(ConfigFileTest, WrittenSettingsReadBackUnchanged) {
  Settings settings;
  settings.AGWEnabled = 1;
  settings.ClusterPort = 9100;
  settings.UserPortCount = 2;
  settings.SetUserPort(1, "7373");
  settings.SetUserPort(2, "8000");
  settings.AGWPort = "9200";
  settings.MonitorPort = "15556";
  settings.PreLoad = 12;
  settings.AddLockOut("10.0.0.");
  settings.AddLockOut("44.131, 7");  // a comma inside a quoted value belongs to it
  settings.MainWindow = {120.5f, -45, 5000.25f, 7000};
  settings.CfgLeft = 100;
  settings.CfgTop = -200;
  settings.LockOutsTop = 1;
  settings.LockOutsLeft = 2;
  settings.LockOutsHeight = 3;
  settings.LockOutsWidth = 4;

  const std::string text = WriteConfigText(settings);
  const Settings read = StartWith(text);
  EXPECT_EQ(WriteConfigText(read), text);
  EXPECT_EQ(read.MainWindow.top, 120.5f);
  EXPECT_EQ(read.MainWindow.height, 5000.25f);
  EXPECT_EQ(read.NumListenPorts, 3);
  EXPECT_EQ(read.AGWIndex, 3);
  EXPECT_EQ(PortsOf(read, 3), (std::vector<std::string>{"7373", "8000", "9200"}));
  EXPECT_EQ(read.LockOuts.at(2), "44.131, 7");
}

}  // namespace
}  // namespace velgate
