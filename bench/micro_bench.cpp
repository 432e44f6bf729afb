// Micro-benchmarks of the hot paths that need no sockets: the downstream splitter and field
// split, upstream framing, the lock-out test against 10,000 entries, the monitor queue, and the
// monitor client's model and screen (one frame after a change, with N rows sorted by call).
//
//   velgate_micro_bench [Google Benchmark options]

#include <benchmark/benchmark.h>

#include <string>

#include "base/ErrorLog.h"
#include "base/Settings.h"
#include "codec/LinkCodec.h"
#include "codec/MonitorMessages.h"
#include "model/MonitorFeed.h"
#include "platform/Clock.h"
#include "protection/LockOuts.h"
#include "viewer/MonitorScreen.h"

namespace {

const std::string kSpot =
    "DX de K1TTT:     14025.0  JA1AAA       CQ CQ                          1200Z";

void DownstreamSplitAndFields(benchmark::State& state) {
  // A read of 64 spots, each a code-0 message for its own stream.
  std::string block;
  for (int s = 2; s < 66; ++s) block += "0\x03" + std::to_string(s) + "\x03" + kSpot + "\r\n\x04";
  velgate::DownstreamSplitter splitter;
  velgate::LinkFields fields;
  for (auto _ : state) {
    splitter.Feed(block);
    for (std::string_view message : splitter.Messages()) {
      velgate::SplitFields(message, fields);
      benchmark::DoNotOptimize(fields.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * 64);
}

void UpstreamFraming(benchmark::State& state) {
  const std::string line = "sh/dx 20\r\n";
  int s = 2;
  for (auto _ : state) {
    std::string message = velgate::AA00(s, line);
    benchmark::DoNotOptimize(message.data());
    s = s == 19000 ? 2 : s + 1;
  }
  state.SetItemsProcessed(state.iterations());
}

void LockOutTest(benchmark::State& state) {
  velgate::Settings settings;
  for (int i = 0; i < state.range(0); ++i)
    settings.AddLockOut("10." + std::to_string(i / 256) + "." + std::to_string(i % 256) + ".");
  // A caller who is on no list: the whole list has to be ruled out.
  for (auto _ : state) {
    benchmark::DoNotOptimize(velgate::FirstMatchingLockOut(settings, "192.0.2.117"));
  }
  state.SetItemsProcessed(state.iterations());
}

void LockOutTestWithNetworks(benchmark::State& state) {
  // Half text prefixes, half networks of both families and several lengths, as a list grown
  // by nuisance /64s and an operator's blocks would be; a caller of each family on none.
  velgate::Settings settings;
  for (int i = 0; i < state.range(0); ++i) {
    const std::string n = std::to_string(i % 256);
    const std::string m = std::to_string(i / 256);
    switch (i % 4) {
      case 0:
        settings.AddLockOut("10." + m + "." + n + ".");
        break;
      case 1:
        settings.AddLockOut("2001:db8:" + m + ":" + n + ":");
        break;
      case 2:
        settings.AddLockOut("172." + m + "." + n + ".0/" + std::to_string(24 + i % 8));
        break;
      default:
        settings.AddLockOut("2001:db8:" + m + ":" + n + "::/64");
        break;
    }
  }
  const char* callers[] = {"192.0.2.117", "2001:db8:ffff:1:2:3:4:5"};
  int which = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(velgate::FirstMatchingLockOut(settings, callers[which ^= 1]));
  }
  state.SetItemsProcessed(state.iterations());
}

void MonitorQueue(benchmark::State& state) {
  velgate::ManualClock clock;
  velgate::ErrorLogFile log("/dev/null", clock, nullptr);
  velgate::MonitorFeed feed(log);
  feed.SockState = velgate::SocketState::kConnected;
  std::string taken;
  for (auto _ : state) {
    for (int i = 0; i < 64; ++i) feed.SendToMonitor(kSpot);
    while (feed.TakeNext(taken)) benchmark::DoNotOptimize(taken.data());
  }
  state.SetItemsProcessed(state.iterations() * 64);
}

std::string RowMessage(int s, const std::string& call) {
  velgate::StatusRow row;
  row.address = {"10.0." + std::to_string(s / 250) + "." + std::to_string(s % 250), 65280};
  row.port = {"51234", 65280};
  row.call = {call, 65280};
  row.address_tip = "08-Dec-2026 0200Z";
  return velgate::monitor_messages::Row(false, s, row) + '\x04';
}

void MonitorClientFeed(benchmark::State& state) {
  // A read of 64 rows as "B" brings them.
  velgate::ManualClock clock;
  velgate::viewer::MonitorModel model(clock);
  std::string block;
  for (int s = 2; s < 66; ++s) block += RowMessage(s, "G" + std::to_string(s) + "ABC");
  for (auto _ : state) model.Feed(block);
  state.SetItemsProcessed(state.iterations() * 64);
}

void MonitorClientFrame(benchmark::State& state) {
  velgate::ManualClock clock;
  asio::io_context io;
  velgate::TimerQueue timers(clock);
  velgate::viewer::MonitorModel model(clock);
  velgate::viewer::MonitorSession session(io, timers, model, "127.0.0.1", 1);
  velgate::viewer::MonitorScreen screen(model, session, session);
  const int rows = static_cast<int>(state.range(0));
  for (int s = 1; s <= rows; ++s) model.Feed(RowMessage(s, "C" + std::to_string(s * 7919 % rows)));
  screen.Key('s');  // sorted by call: every change sorts again
  int which = 0;
  for (auto _ : state) {
    ++which;
    model.Feed(RowMessage(1 + which % rows, "X" + std::to_string(which)));
    benchmark::DoNotOptimize(screen.Picture(80, 24).size());
  }
}

BENCHMARK(DownstreamSplitAndFields);
BENCHMARK(UpstreamFraming);
BENCHMARK(LockOutTest)->Arg(10)->Arg(10000);
BENCHMARK(LockOutTestWithNetworks)->Arg(10)->Arg(10000);
BENCHMARK(MonitorQueue);
BENCHMARK(MonitorClientFeed);
BENCHMARK(MonitorClientFrame)->Arg(500)->Arg(30000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
