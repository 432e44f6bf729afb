#include "Scenarios.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace velgate::load {
namespace {

// 78 characters and the line end: a DX spot as a cluster sends it.
const std::string kSpot =
    "DX de G0ABC:     14025.0  K1ABC        cq contest up 1                 0530Z\r\n";
const std::string kUpLine = "DX 14025.0 K1ABC cq contest\r\n";

double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

double Percentile(std::vector<std::int64_t>& values, double share) {
  if (values.empty()) return NAN;
  std::sort(values.begin(), values.end());
  const auto at = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1));
  return static_cast<double>(values[at]) / 1000.0;
}

std::string Message(int stream, const std::string& text) {
  return "0\x03" + std::to_string(stream) + "\x03" + text + "\x04";
}

int UserCount(Harness& harness) {
  return static_cast<int>(harness.Users().size());
}

void Fail(const char* what) {
  std::fprintf(stderr, "load: %s did not finish in time\n", what);
}

}  // namespace

void Logins(Harness& harness, const Target& target, int n, Figures& figures) {
  const long before = target.ResidentBytes();
  const auto start = Clock::now();
  if (!harness.LogIn(n, 256)) Fail("logins");
  figures["logins_per_s"] = n / Seconds(start, Clock::now());
  figures["memory_per_stream_B"] =
      static_cast<double>(target.ResidentBytes() - before) / static_cast<double>(n);
}

void FanOut(Harness& harness, const Target& target, int waiting, const std::string& name,
            Figures& figures) {
  const int users = UserCount(harness);
  std::string round;
  for (const auto& user : harness.Users()) {
    for (int b = 0; b < waiting; ++b) round += Message(user->stream, kSpot);
  }
  // A round goes out once the one before has reached every user: each stream has exactly
  // `waiting` messages queued when a round arrives.
  const int per_round = users * waiting;
  const int rounds = std::max(2, 160000 / per_round);
  const double cpu = target.CpuSeconds();
  const auto start = Clock::now();
  for (int r = 0; r < rounds; ++r) {
    harness.ExpectPerUser(static_cast<std::uint64_t>(waiting) * kSpot.size());
    harness.SendDownstream(round);
    if (!harness.RunUntil([&] { return harness.UsersDone() == users; }, 30)) {
      Fail(name.c_str());
      return;
    }
  }
  const double messages = static_cast<double>(per_round) * rounds;
  figures[name + "_msg_per_s"] = messages / Seconds(start, harness.LastUserDone());
  figures[name + "_cpu_us_per_msg"] = (target.CpuSeconds() - cpu) * 1e6 / messages;
}

void Upstream(Harness& harness, const Target& target, Figures& figures) {
  const int users = UserCount(harness);
  const std::uint64_t total = 120000;
  const std::uint64_t window = std::max(2000, users);
  const std::uint64_t base = harness.LinesUp();
  std::uint64_t sent = 0;
  const double cpu = target.CpuSeconds();
  const auto start = Clock::now();
  const bool done = harness.RunUntil(
      [&] {
        const std::uint64_t arrived = harness.LinesUp() - base;
        while (sent < total && sent - arrived < window &&
               harness.SendFromUser(static_cast<int>(sent % users), kUpLine))
          ++sent;
        return arrived >= total;
      },
      120);
  if (!done) Fail("upstream");
  figures["upstream_lines_per_s"] = static_cast<double>(total) / Seconds(start, Clock::now());
  figures["upstream_cpu_us_per_line"] =
      (target.CpuSeconds() - cpu) * 1e6 / static_cast<double>(total);
}

void Latency(Harness& harness, Figures& figures) {
  const int users = UserCount(harness);
  const double down_rate = figures["fanout_msg_per_s"] / 10;
  const double up_rate = figures["upstream_lines_per_s"] / 10;
  const double duration = 2.0;
  harness.SetUserMode(UserMode::kLatency);
  harness.DownLatencies().clear();
  harness.UpLatencies().clear();
  std::uint64_t down = 0;
  std::uint64_t up = 0;
  const auto start = Clock::now();
  harness.RunUntil(
      [&] {
        const double elapsed = Seconds(start, Clock::now());
        if (elapsed > duration + 0.5) return true;
        if (elapsed > duration) return false;
        const std::string probe = "L" + std::to_string(NowNs()) + "\r\n";
        for (; down < static_cast<std::uint64_t>(down_rate * elapsed); ++down) {
          const int u = static_cast<int>(down % static_cast<std::uint64_t>(users));
          harness.SendDownstream(
              Message(harness.Users()[static_cast<std::size_t>(u)]->stream, probe));
        }
        for (; up < static_cast<std::uint64_t>(up_rate * elapsed); ++up) {
          harness.SendFromUser(static_cast<int>(up % static_cast<std::uint64_t>(users)), probe);
        }
        return false;
      },
      duration + 1);
  harness.SetUserMode(UserMode::kCount);
  for (auto [name, values] :
       {std::pair{"down", &harness.DownLatencies()}, std::pair{"up", &harness.UpLatencies()}}) {
    const std::string prefix = std::string("latency_") + name;
    figures[prefix + "_p50_us"] = Percentile(*values, 0.5);
    figures[prefix + "_p99_us"] = Percentile(*values, 0.99);
    figures[prefix + "_p999_us"] = Percentile(*values, 0.999);
  }
}

void SpotToAll(Harness& harness, Figures& figures) {
  const int users = UserCount(harness);
  std::string burst;
  for (const auto& user : harness.Users()) burst += Message(user->stream, kSpot);
  const int rounds = std::clamp(200000 / users, 10, 50);
  std::vector<std::int64_t> times;
  for (int r = 0; r < rounds; ++r) {
    harness.ExpectPerUser(kSpot.size());
    const auto start = Clock::now();
    harness.SendDownstream(burst);
    if (!harness.RunUntil([&] { return harness.UsersDone() == users; }, 30)) Fail("spot to all");
    times.push_back(
        std::chrono::duration_cast<std::chrono::nanoseconds>(harness.LastUserDone() - start)
            .count());
  }
  figures["spot_to_all_p50_us"] = Percentile(times, 0.5);
  figures["spot_to_all_p99_us"] = Percentile(times, 0.99);
}

void FanOutWatched(Harness& harness, const Target& target, Figures& figures) {
  // The feed is on from the moment the client is taken; no stream traced, the first followed.
  const int first = harness.Users().front()->stream;
  if (!harness.ConnectMonitor("N*^" + std::to_string(first))) {
    Fail("the monitor client's connection");
    return;
  }
  FanOut(harness, target, 1, "fanout_monitored", figures);
  harness.CloseMonitor();
}

void Accepts(Harness& harness, Figures& figures) {
  const int users = UserCount(harness);
  const int callers = 6000;
  const auto start = Clock::now();
  if (!harness.ChurnCallers(callers, 64, (users / 9 + 2) * 9)) Fail("accepts");
  figures["accepts_per_s"] = callers / Seconds(start, Clock::now());
}

}  // namespace velgate::load
