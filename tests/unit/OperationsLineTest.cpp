// The operational log's lines: every form, the priorities, escaping of what callers and the
// file system hand us, and what --quiet keeps.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "base/OperationsLine.h"

namespace velgate {
namespace {

using namespace oplog;

struct Case {
  Event event;
  std::string line;
};

TEST(OperationsLineTest, EveryFormWithItsPriority) {
  const std::vector<Case> cases = {
      {Starting{"3.02", "/var/lib/velgate", 65536},
       R"(<6>starting version=3.02 dir="/var/lib/velgate" open_files=65536)"},
      {Listening{9003, PortRole::kCluster}, "<6>listening port=9003 for=cluster"},
      {Listening{7300, PortRole::kUsers}, "<6>listening port=7300 for=users"},
      {Listening{9002, PortRole::kBridge}, "<6>listening port=9002 for=bridge"},
      {Listening{15555, PortRole::kMonitor}, "<6>listening port=15555 for=monitor"},
      {ListenFailed{"7300", PortRole::kUsers, "Address in use"},
       R"(<3>listen-failed port=7300 for=users error="Address in use")"},
      {ClusterConnected{"127.0.0.1"}, "<6>cluster connected ip=127.0.0.1"},
      {ClusterOnline{12}, "<6>cluster online streams=12"},
      {ClusterDropped{DropReason::kClosed}, "<4>cluster dropped reason=closed"},
      {ClusterDropped{DropReason::kFailed}, "<4>cluster dropped reason=failed"},
      {ClusterDropped{DropReason::kQueueCap}, "<4>cluster dropped reason=queue-cap"},
      {ClusterDropped{DropReason::kGreetingTimeout}, "<4>cluster dropped reason=greeting-timeout"},
      {ClusterDropped{DropReason::kOperator}, "<4>cluster dropped reason=operator"},
      {LinesDiscarded{37}, "<4>cluster discarded lines=37"},
      {MonitorAttached{"127.0.0.1"}, "<6>monitor attached ip=127.0.0.1"},
      {MonitorDropped{"127.0.0.1", DropReason::kQueueCap},
       "<6>monitor dropped ip=127.0.0.1 reason=queue-cap"},
      {UserLoggedIn{5, "G0ABC", "127.0.0.1", 7300},
       "<6>user logged-in stream=5 call=G0ABC ip=127.0.0.1 port=7300"},
      {UserEnded{5, "G0ABC", StreamEnding::kHungUp},
       "<6>user ended stream=5 call=G0ABC how=hung-up"},
      {UserEnded{5, "", StreamEnding::kLoginTimeout},
       "<6>user ended stream=5 call=- how=login-timeout"},
      {UserEnded{5, "X", StreamEnding::kRefusedTimeout},
       "<6>user ended stream=5 call=X how=refused-timeout"},
      {UserEnded{5, "X", StreamEnding::kLineTooLong},
       "<6>user ended stream=5 call=X how=line-too-long"},
      {UserEnded{5, "X", StreamEnding::kFailed}, "<6>user ended stream=5 call=X how=failed"},
      {UserEnded{5, "X", StreamEnding::kQueueCap}, "<6>user ended stream=5 call=X how=queue-cap"},
      {UserEnded{5, "X", StreamEnding::kClusterClosed},
       "<6>user ended stream=5 call=X how=cluster-closed"},
      {Refused{"203.0.113.5", 7300, Refusal::kPerAddressLimit},
       "<4>refused ip=203.0.113.5 port=7300 reason=per-address-limit"},
      {Refused{"2001:db8::1", 7300, Refusal::kLockedOut},
       "<4>refused ip=2001:db8::1 port=7300 reason=locked-out"},
      {Refused{"192.0.2.1", 7300, Refusal::kNuisanceWeb},
       "<4>refused ip=192.0.2.1 port=7300 reason=nuisance-web"},
      {Refused{"192.0.2.1", 7300, Refusal::kNuisanceLogin},
       "<4>refused ip=192.0.2.1 port=7300 reason=nuisance-login"},
      {Refused{"192.0.2.1", 9003, Refusal::kClusterAllow},
       "<4>refused ip=192.0.2.1 port=9003 reason=cluster-allow"},
      {Refused{"192.0.2.1", 15555, Refusal::kMonitorAllow},
       "<4>refused ip=192.0.2.1 port=15555 reason=monitor-allow"},
      {Refused{"192.0.2.1", 7300, Refusal::kDescriptorReserve},
       "<4>refused ip=192.0.2.1 port=7300 reason=descriptor-reserve"},
      {ListenerRecycled{7300}, "<4>listener recycled port=7300"},
      {Summary{12, 40, 1234, 5678, 0},
       "<6>summary users=12 highest=40 to_cluster=1234 from_cluster=5678 queued_bytes=0"},
      {Stopping{"SIGTERM", ""}, "<6>stopping signal=SIGTERM"},
      {Stopping{"", "operator"}, "<6>stopping by=operator"},
  };
  for (const Case& c : cases) {
    const std::string line = OperationsLine(c.event);
    EXPECT_EQ(line, c.line);
    EXPECT_EQ(line.substr(0, 3), "<" + std::to_string(static_cast<int>(PriorityOf(c.event))) + ">");
  }
}

TEST(OperationsLineTest, CallerTextCanForgeNeitherALineNorAKey) {
  const std::string long_call(40, 'A');
  const std::vector<std::pair<std::string, std::string>> calls = {
      {"G0ABC\n<4>refused ip=1.2.3.4 port=1 reason=locked-out", "G0ABC_<4>refused_ip_1.2.3.4_port"},
      {"G0ABC how=hung-up", "G0ABC_how_hung-up"},
      {"\"quoted\"\r\t", "_quoted___"},
      {std::string("G\0B\x7f\xc3\xa9", 6), "G_B___"},
      {long_call, long_call.substr(0, kMostCallBytes)},
      {"", "-"},
  };
  for (const auto& [call, value] : calls) {
    EXPECT_EQ(CallValue(call), value);
    const std::string line = OperationsLine(UserEnded{2, call, StreamEnding::kHungUp});
    EXPECT_EQ(line, "<6>user ended stream=2 call=" + value + " how=hung-up");
  }
  // An address is never caller text, but is written as one word all the same.
  EXPECT_EQ(OperationsLine(Refused{"1.2.3.4 reason=x", 7, Refusal::kLockedOut}),
            "<4>refused ip=1.2.3.4_reason_x port=7 reason=locked-out");
}

TEST(OperationsLineTest, QuotedValuesEscapeQuotesBackslashesAndLineEnds) {
  const std::vector<std::pair<std::string, std::string>> texts = {
      {"/srv/velgate one", R"("/srv/velgate one")"},
      {R"(C:\velgate "x")", R"("C:\\velgate \"x\"")"},
      {"/tmp/a\nb\x7f", R"("/tmp/a\x0ab\x7f")"},
      {"/srv/\xc3\xa9t\xc3\xa9", "\"/srv/\xc3\xa9t\xc3\xa9\""},
      {"", R"("")"},
  };
  for (const auto& [text, quoted] : texts) EXPECT_EQ(QuotedValue(text), quoted) << text;
}

TEST(OperationsLineTest, QuietKeepsOnlyWarningsAndErrors) {
  const std::vector<Event> events = {
      Starting{"3.02", "/d", 1},
      ListenFailed{"1", PortRole::kCluster, "e"},
      ClusterDropped{DropReason::kClosed},
      UserEnded{2, "X", StreamEnding::kHungUp},
      Refused{"1.2.3.4", 1, Refusal::kLockedOut},
      Summary{},
  };
  const std::string warnings_and_errors =
      "<3>listen-failed port=1 for=cluster error=\"e\"\n"
      "<4>cluster dropped reason=closed\n"
      "<4>refused ip=1.2.3.4 port=1 reason=locked-out\n";
  const std::string everything =
      "<6>starting version=3.02 dir=\"/d\" open_files=1\n"
      "<3>listen-failed port=1 for=cluster error=\"e\"\n"
      "<4>cluster dropped reason=closed\n"
      "<6>user ended stream=2 call=X how=hung-up\n"
      "<4>refused ip=1.2.3.4 port=1 reason=locked-out\n"
      "<6>summary users=0 highest=0 to_cluster=0 from_cluster=0 queued_bytes=0\n";
  for (const bool quiet : {false, true}) {
    std::ostringstream out;
    OperationsLineWriter writer(out, quiet);
    for (const Event& event : events) writer.Record(event);
    EXPECT_EQ(out.str(), quiet ? warnings_and_errors : everything);
  }
}

TEST(OperationsLineTest, LinesThatCannotGoOutAreCountedAndTheCountGoesFirst) {
  // A reader that stops for three refusals: they are left out, not held; the next line that
  // can go out is preceded by their count, and the count starts again from there.
  std::ostringstream out;
  bool writable = true;
  OperationsLineWriter writer(out, false, [&] { return writable; });
  const Event refused = Refused{"1.2.3.4", 1, Refusal::kLockedOut};
  writer.Record(refused);
  writable = false;
  for (int i = 0; i < 3; ++i) writer.Record(refused);
  EXPECT_EQ(out.str(), "<4>refused ip=1.2.3.4 port=1 reason=locked-out\n");
  writable = true;
  writer.Record(ClusterDropped{DropReason::kClosed});
  writer.Record(ClusterDropped{DropReason::kClosed});
  EXPECT_EQ(out.str(),
            "<4>refused ip=1.2.3.4 port=1 reason=locked-out\n"
            "<4>log left-out lines=3\n"
            "<4>cluster dropped reason=closed\n"
            "<4>cluster dropped reason=closed\n");
}

}  // namespace
}  // namespace velgate
