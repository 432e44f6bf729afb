// Micro-benchmarks of the hot paths that need no sockets: the downstream splitter and field
// split, upstream framing, the lock-out test against 10,000 entries, and the monitor queue.
//
//   velgate_micro_bench [Google Benchmark options]

#include <benchmark/benchmark.h>

#include <string>

#include "base/ErrorLog.h"
#include "base/Settings.h"
#include "codec/LinkCodec.h"
#include "model/MonitorFeed.h"
#include "platform/Clock.h"
#include "protection/LockOuts.h"

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

BENCHMARK(DownstreamSplitAndFields);
BENCHMARK(UpstreamFraming);
BENCHMARK(LockOutTest)->Arg(10)->Arg(10000);
BENCHMARK(LockOutTestWithNetworks)->Arg(10)->Arg(10000);
BENCHMARK(MonitorQueue);

}  // namespace

BENCHMARK_MAIN();
