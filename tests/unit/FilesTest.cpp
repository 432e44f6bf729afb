// The gateway's files: Velgate.cfg as text, error.log, highwater.dat, and the stamps they carry.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "TempFolder.h"
#include "app/ConfigFile.h"
#include "app/ConfigForm.h"
#include "app/SettingsStore.h"
#include "base/Dates.h"
#include "base/ErrorLog.h"
#include "platform/Clock.h"
#include "platform/RunTimeError.h"
#include "protection/Highwater.h"
#include "protection/HighwaterFile.h"

namespace velgate {
namespace {

// "Key=value;Key=value" as the file's records, values quoted, CR LF after each.
std::string File(const std::string& records) {
  std::string text = "\"";
  for (char c : records) text += c == '=' ? "\",\"" : c == ';' ? "\"\r\n\"" : std::string(1, c);
  return records.empty() ? "" : text + "\"\r\n";
}

// Reads a file's text as start-up does, the bridge entry included.
Settings StartWith(const std::string& bytes) {
  Settings settings;
  ReadConfigRecords(bytes, settings);
  FinishConfigReading(settings);
  AddBridgePortEntry(settings);
  return settings;
}

// What a settings store works with: a folder of its own, error.log, a view and a feed.
struct StoreParts {
  velgate::testing::TempFolder folder;
  ManualClock clock;
  ProgramFolder program{folder.Path()};
  ErrorLogFile log{folder.File("error.log"), clock, nullptr};
  ViewModel view;
  MonitorFeed feed{log};
  OperationsLog oplog;
  SavedFiles saved{log, view, oplog};
};

std::string Listeners(const Settings& settings) {
  std::string ports;
  for (int i = 1; i <= settings.NumListenPorts; ++i) ports += settings.UserPort(i) + ",";
  return ports.substr(0, ports.size() - 1);
}

TEST(ConfigFileTest, SettingsAreWrittenInTheCanonicalOrder) {
  const std::string defaults =
      "\"AGWenabled\",0\r\n\"ClusterPort\",9003\r\n\"AGWport\",\"9002\"\r\n"
      "\"MonitorPort\",\"15555\"\r\n\"PreLoad\",5\r\n\"Top\",0\r\n\"Left\",0\r\n\"Height\",4000\r\n"
      "\"Width\",4000\r\n\"Cfg Left\",0\r\n\"Cfg Top\",0\r\n\"LockOuts Top\",0\r\n"
      "\"LockOuts Left\",0\r\n\"LockOuts Height\",5625\r\n\"LockOuts Width\",3675\r\n";
  EXPECT_EQ(WriteConfigText(StartWith("")), defaults);
  // Keys are compared with their case; unknown keys are skipped.
  EXPECT_EQ(WriteConfigText(StartWith(File("top=999;userport=7400;clusterport=9100;Colour=red"))),
            defaults);
  const std::string every_key =
      "\"AGWenabled\",1\r\n\"ClusterPort\",9100\r\n\"UserPort\",\"7373\"\r\n"
      "\"UserPort\",\"8000\"\r\n\"AGWport\",\"9200\"\r\n\"MonitorPort\",\"15556\"\r\n"
      "\"PreLoad\",12\r\n\"Locked Out\",\"10.0.0.\"\r\n\"Locked Out\",\"44.131, 7\"\r\n"
      "\"Top\",120.5\r\n\"Left\",-45\r\n\"Height\",5000.25\r\n\"Width\",7000\r\n"
      "\"Cfg Left\",-120\r\n\"Cfg Top\",-200\r\n\"LockOuts Top\",1\r\n\"LockOuts Left\",2\r\n"
      "\"LockOuts Height\",3\r\n\"LockOuts Width\",4\r\n";
  EXPECT_EQ(WriteConfigText(StartWith(every_key)), every_key);
  // A user port on the bridge's port is not written.
  EXPECT_EQ(WriteConfigText(StartWith(every_key + "\"UserPort\",\"9200\"\r\n")), every_key);
}

TEST(ConfigFileTest, PortRecordsGiveTheClusterPortAndTheListeners) {
  // Records, the cluster's port, the listeners' ports, the bridge's listener.
  const std::tuple<const char*, int, const char*, int> cases[] = {
      {"RemotePort=7373;UserPort=7373;UserPort=7374", 7373, "7374", 0},
      {"ClusterPort= 9103.5 ", 9104, "7373", 0},
      {"ClusterPort=9105;ZQC port=9100", 9100, "7373", 0},
      {"UserPort=07373;UserPort=7374;UserPort=7373", 9003, "7373,7374", 0},
      {"LocalPort=7374;ListeningPort=7375;UserPort= 7376 ", 9003, "7374,7375,7376", 0},
      {"UserPort=9003;UserPort=7373", 9003, "7373", 0},
      // Bad ports are bad records: the default listener stays.
      {"UserPort=abc;UserPort=0;UserPort=70000;UserPort=-1;UserPort=7373.5", 9003, "7373", 0},
      {"AGWenabled=1;UserPort=7373;UserPort=7374;AGWport=9002", 9003, "7373,7374,9002", 3},
      // Without a user-port record one listener remains: the default port, or the bridge.
      {"AGWport=9100", 9003, "7373", 0},
      {"AGWenabled=1;AGWport=9100", 9003, "9100", 1},
      {"AGWenabled=-1;MonitorPort=15556", 9003, "9002", 1}};
  for (const auto& [records, cluster_port, listeners, bridge_index] : cases) {
    const Settings settings = StartWith(File(records));
    EXPECT_EQ(settings.ClusterPort, cluster_port) << records;
    EXPECT_EQ(Listeners(settings), listeners) << records;
    EXPECT_EQ(settings.AGWIndex, bridge_index) << records;
    EXPECT_EQ(settings.FirstStreamIndex, settings.NumListenPorts + 1) << records;
  }
  // Records end at CR LF, LF or CR.
  EXPECT_EQ(Listeners(StartWith("\"UserPort\",\"7373\"\n\"UserPort\",\"74\"\r\"UserPort\",75")),
            "7373,74,75");
}

TEST(ConfigFormTest, SaveTakesTheNonEmptyRowsAndALaterBadClusterPortStopsIt) {
  Settings settings = StartWith(File("UserPort=7373;UserPort=7400;AGWenabled=1;AGWport=9002"));
  ConfigForm form = LoadConfigForm(settings);
  EXPECT_EQ(form.user_ports, (std::vector<std::string>{"7373", "7400"}));
  EXPECT_TRUE(form.agw_enabled);
  form.user_ports = {"", "9002", "", "7500"};
  form.preload = "12 streams";
  ApplyConfigForm(form, settings);
  EXPECT_EQ(settings.UserPortCount, 2);
  EXPECT_EQ(settings.PreLoad, 12);
  // A row equal to the bridge port stays in memory, but is not written.
  const std::string written = WriteConfigText(settings);
  EXPECT_EQ(written.find("\"UserPort\",\"9002\""), std::string::npos) << written;
  EXPECT_NE(written.find("\"UserPort\",\"7500\""), std::string::npos) << written;
  form.user_ports = {"", ""};  // every row emptied: no user-port record at all
  ApplyConfigForm(form, settings);
  EXPECT_EQ(WriteConfigText(settings).find("UserPort"), std::string::npos);

  for (const std::string bad : {"9x", "40000"}) {
    form.monitor_port = "15600";
    form.cluster_port = bad;
    form.agw_port = "9100";
    EXPECT_THROW(ApplyConfigForm(form, settings), RunTimeError) << bad;
    EXPECT_EQ(settings.MonitorPort, "15600");  // the step before the failing one stays
    EXPECT_EQ(settings.AGWPort, "9002");
  }
}

TEST(SettingsStoreTest, WindowSavesWriteTheFileAndABadFormWritesNothing) {
  StoreParts parts;
  auto& [folder, clock, program, log, view, feed, oplog, saved] = parts;
  SettingsStore store(program, log, saved, view, feed);
  folder.Write("Velgate.cfg", File("Top=500;Cfg Left=70;LockOuts Width=100;Locked Out=10."));
  store.ReadFix();

  const std::optional<std::string> before = folder.Read("Velgate.cfg");
  ConfigForm form = LoadConfigForm(store.Current());
  form.cluster_port = "port";
  EXPECT_FALSE(store.SaveConfigForm(form));
  EXPECT_EQ(folder.Read("Velgate.cfg"), before);
  EXPECT_EQ(folder.Read("error.log"), "\"04-12-2026 1200Z cmdCluster 1\"\r\n");

  // The editor loaded one entry; a nuisance caller was locked out while it was open, and its
  // entry survives the Save.
  store.Current().AddLockOut("203.0.113.9");
  store.SaveLockOuts({"192.0.2.", "10.0."}, 1, WindowPlacement{10.4F, 20.6F, 3000, 2000});
  EXPECT_EQ(store.Current().LockOutsLeft, 21);
  store.ResetWindowPlacements();
  const std::string written = folder.Read("Velgate.cfg").value();
  EXPECT_NE(written.find("\"Locked Out\",\"192.0.2.\"\r\n\"Locked Out\",\"10.0.\"\r\n"
                         "\"Locked Out\",\"203.0.113.9\"\r\n"
                         "\"Top\",0\r\n\"Left\",0\r\n\"Height\",4000\r\n\"Width\",4000\r\n"
                         "\"Cfg Left\",0\r\n\"Cfg Top\",0\r\n\"LockOuts Top\",0\r\n"
                         "\"LockOuts Left\",0\r\n\"LockOuts Height\",4000\r\n"
                         "\"LockOuts Width\",4000\r\n"),
            std::string::npos)
      << written;
}

TEST(SettingsStoreTest, FilesThatExistButCannotBeReadAreNeverOverwritten) {
  StoreParts parts;
  auto& [folder, clock, program, log, view, feed, oplog, saved] = parts;
  // Velgate.cfg a folder, highwater.dat with a first field that is no number.
  std::filesystem::create_directory(folder.File("Velgate.cfg"));
  const std::string mark = "many,\"01-Jan-2026 1200Z\"\r\n";
  folder.Write("highwater.dat", mark);
  SettingsStore store(program, log, saved, view, feed);
  store.ReadFix();
  store.WriteFix();
  EXPECT_TRUE(std::filesystem::is_directory(folder.File("Velgate.cfg")));
  const std::string logged = folder.Read("error.log").value_or("");
  EXPECT_NE(logged.find("ReadFix Velgate.cfg cannot be read"), std::string::npos) << logged;
  EXPECT_NE(logged.find("ReadFix highwater.dat cannot be read"), std::string::npos) << logged;
  EXPECT_EQ(logged.find("WriteFix"), std::string::npos) << "no attempt to write over it";
  Highwater marks(store.Marks(), view, feed, clock, saved, folder.File("highwater.dat"));
  marks.UpdateHighwater(3);
  EXPECT_EQ(store.Marks().AllTimeHigh, 3);
  EXPECT_EQ(folder.Read("highwater.dat"), mark);

  // A file the gateway's user may not read (root reads everything, so only for others).
  if (::geteuid() == 0) return;
  std::filesystem::remove(folder.File("Velgate.cfg"));
  const std::string locked = File("PreLoad=7;Locked Out=10.");
  folder.Write("Velgate.cfg", locked);
  std::filesystem::permissions(folder.File("Velgate.cfg"), std::filesystem::perms::none);
  SettingsStore again(program, log, saved, view, feed);
  again.ReadFix();
  again.WriteFix();
  std::filesystem::permissions(folder.File("Velgate.cfg"), std::filesystem::perms::owner_read);
  EXPECT_EQ(folder.Read("Velgate.cfg"), locked);
}

TEST(ConfigFileTest, ABadRecordIsReportedAndTheRestIsStillRead) {
  // A record, and the error reading it gives.
  const std::pair<std::string, std::string> cases[] = {
      {"PreLoad=abc", "Type mismatch"},
      {"PreLoad=", "Type mismatch"},
      {"PreLoad=40000", "Overflow"},
      {"PreLoad=-2", "Invalid property value"},
      {"PreLoad=32767", "Invalid property value"},
      {"ClusterPort=0", "Invalid property value"},
      {"MonitorPort=", "Type mismatch"},
      {"MonitorPort=" + std::string(401, '9'), "Invalid property value"},
      {"AGWport=70000", "Invalid property value"},
      {"Top=-5000000", "Invalid property value"},
      {"LockOuts Height=-1", "Invalid property value"},
      {"Cfg Left=3000000000", "Overflow"},
      {"Width=1" + std::string(42, '0'), "Overflow"}};
  for (const auto& [record, error] : cases) {
    Settings settings;
    const std::vector<ConfigRecordFailure> failures =
        ReadConfigRecords(File("PreLoad=7;" + record + ";UserPort=7380"), settings).failures;
    ASSERT_EQ(failures.size(), 1u) << record;
    EXPECT_EQ(failures[0].key + "=" + failures[0].value + ": " + failures[0].error.Description(),
              record + ": " + error);
    EXPECT_EQ(settings.PreLoad, 7) << record;           // the last good value
    EXPECT_EQ(settings.UserPort(1), "7380") << record;  // read after the bad one
  }
}

TEST(DatesTest, EveryStampHasItsOwnLayout) {
  const std::string months = "JanFebMarAprMayJunJulAugSepOctNovDec";
  for (int month = 1; month <= 12; ++month)
    EXPECT_EQ(EnglishDate({2026, month, 4, 5, 30, 0}),
              "04-" + months.substr(3 * month - 3, 3) + "-2026");
  const DateTime time{2028, 2, 29, 3, 7, 9};
  EXPECT_EQ(LoginTimeStamp(time), "29-Feb-2028 0307Z");
  EXPECT_EQ(HighwaterDateText(time), "29-Feb-2028  03:07");
  EXPECT_EQ(StartTimeText(time), "2028-02-29 03:07:09");
  EXPECT_EQ(ErrorLogLine(time, "WriteFix ", "Overflow"),
            "\"29-02-2028 0307Z WriteFix  Overflow\"\r\n");
}

TEST(ErrorLogTest, LinesAreStampedInLocalTimeAndAnUnwritableLogAlertsTheOperator) {
  // 23:30 local on New Year's Eve, five hours behind UTC: UTC is already in the new year.
  ManualClock clock({2027, 1, 1, 4, 30, 10}, -5 * 60);
  velgate::testing::TempFolder folder;
  std::vector<std::string> alerts;
  const auto alert = [&](const std::string& description) { alerts.push_back(description); };
  ErrorLogFile log(folder.File("error.log"), clock, alert);
  log.Write("Reformat", "");
  clock.AdvanceMs(30 * 60 * 1000);
  log.Write("Timer4_timer", "Overflow");
  EXPECT_EQ(folder.Read("error.log"),
            "\"31-12-2026 2330Z Reformat \"\r\n\"01-01-2027 0000Z Timer4_timer Overflow\"\r\n");
  // An unwritable log alerts the operator and loses the entry.
  ErrorLogFile(folder.File("missing/error.log"), clock, alert).Write("SendAll", "Overflow");
  EXPECT_EQ(alerts.size(), 1u);
  EXPECT_FALSE(folder.Exists("missing"));
  EXPECT_NO_THROW(ErrorLogFile(folder.File("missing/error.log"), clock, nullptr).Write("A", ""));
}

TEST(HighwaterFileTest, ReadsTheCountWithOrWithoutItsDateAndWritesOneRecord) {
  EXPECT_EQ(ReadHighwaterCount("17,\"04-Dec-2026  05:30\""), 17);
  EXPECT_EQ(ReadHighwaterDate("17,\"04-Dec-2026  05:30\""), "04-Dec-2026  05:30");
  EXPECT_EQ(ReadHighwaterCount("17\r\n"), 17);
  EXPECT_EQ(ReadHighwaterDate("17\r\n"), "");
  EXPECT_EQ(ReadHighwaterCount("2147483647,\"31-Dec-2026  23:59\"\r\n"), 2147483647);
  EXPECT_EQ(ReadHighwaterDate("2147483647,\"31-Dec-2026  23:59\"\r\n"), "31-Dec-2026  23:59");
  EXPECT_EQ(HighwaterFileText({17, "04-Dec-2026  05:30"}), "17,\"04-Dec-2026  05:30\"\r\n");
  for (const char* bytes : {"", "\r\n", "abc,\"04-Dec-2026  05:30\"\r\n", "12abc\r\n",
                            "2147483648,\"04-Dec-2026  05:30\"\r\n"})
    EXPECT_THROW(ReadHighwaterCount(bytes), RunTimeError) << ::testing::PrintToString(bytes);
}

}  // namespace
}  // namespace velgate
