#include "Scenarios.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include "Storm.h"

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

double Milliseconds(std::vector<std::int64_t>& values, double share) {
  return Percentile(values, share) / 1000.0;
}

// The kernel's memory for TCP buffers, all sockets together, in pages ("TCP: ... mem N").
long TcpMemoryPages() {
  std::ifstream file("/proc/net/sockstat");
  for (std::string line; std::getline(file, line);) {
    if (!line.starts_with("TCP:")) continue;
    std::istringstream fields(line.substr(4));
    for (std::string name, value; fields >> name >> value;) {
      if (name == "mem") return std::stol(value);
    }
  }
  return -1;
}

// Storm callers and newcomers come from ranges no user or churned caller is given.
std::vector<std::string> StormAddresses(int count) {
  std::vector<std::string> addresses;
  for (int a = 1; a <= count; ++a) addresses.push_back("127.250.0." + std::to_string(a));
  return addresses;
}

std::string NewcomerAddress(int n) {
  return "127.251." + std::to_string(n / 250) + "." + std::to_string(1 + n % 250);
}

int EndedUsers(Harness& harness) {
  return static_cast<int>(std::count_if(harness.Users().begin(), harness.Users().end(),
                                        [](const auto& user) { return user->ended; }));
}

// Runs the loop until the target has sent nothing up for half a second: what the storm set off
// has all arrived.
void UntilQuiet(Harness& harness, Storm& storm) {
  std::uint64_t seen = harness.MessagesUp();
  auto changed = Clock::now();
  const bool quiet = harness.RunUntil(
      [&] {
        if (harness.MessagesUp() != seen) {
          seen = harness.MessagesUp();
          changed = Clock::now();
        }
        return storm.NewcomersWaiting() == 0 && Seconds(changed, Clock::now()) > 0.5;
      },
      15);
  if (!quiet) Fail("the storm's aftermath");
  storm.CallOff();
  harness.RunUntil([&] { return storm.Idle(); }, 5);
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

void ConnectionStorm(Harness& harness, const Target& target, Figures& figures) {
  const int users = UserCount(harness);
  const int addresses = 50;
  const int per_address = 200;
  Storm storm(harness.Io(), target.UserPort());
  harness.SetUserMode(UserMode::kLatency);
  harness.RoundTrips().clear();
  const std::uint64_t messages = harness.MessagesUp();
  const std::uint64_t requests = harness.ConnectRequests();
  const std::uint64_t hang_ups = harness.HangUps();
  const int rate_lines = target.LogLines("reason=rate");
  const int limit_lines = target.LogLines("reason=per-address-limit");
  const double cpu = target.CpuSeconds();
  const auto start = Clock::now();
  storm.Start(StormAddresses(addresses), per_address, 200);
  // Every 100 ms while the callers are at it: a newcomer, and a line from one of the users that
  // the cluster sends straight back.
  int ticks = 0;
  const bool over = harness.RunUntil(
      [&] {
        if (storm.CallersDone()) return true;
        if (Seconds(start, Clock::now()) >= ticks * 0.1) {
          storm.StartNewcomer(NewcomerAddress(ticks));
          harness.SendFromUser(ticks % users, "R" + std::to_string(NowNs()) + "\r\n");
          ++ticks;
        }
        return false;
      },
      120);
  if (!over) Fail("the storm");
  const double seconds = Seconds(start, over ? storm.CallersFinished() : Clock::now());
  UntilQuiet(harness, storm);
  harness.SetUserMode(UserMode::kCount);

  const int connects = addresses * per_address - storm.CallersFailed();
  figures["storm_connects"] = connects;
  figures["storm_connect_failures"] = storm.CallersFailed();
  figures["storm_seconds"] = seconds;
  figures["storm_connects_per_s"] = connects / seconds;
  figures["storm_cluster_messages"] = static_cast<double>(harness.MessagesUp() - messages);
  figures["storm_connect_requests_up"] = static_cast<double>(harness.ConnectRequests() - requests);
  figures["storm_hang_ups_up"] = static_cast<double>(harness.HangUps() - hang_ups);
  figures["storm_cpu_ms"] = (target.CpuSeconds() - cpu) * 1000;
  figures["storm_rate_refusal_lines"] = target.LogLines("reason=rate") - rate_lines;
  figures["storm_per_address_refusal_lines"] =
      target.LogLines("reason=per-address-limit") - limit_lines;
  figures["storm_newcomers"] = ticks;
  figures["storm_newcomers_refused"] = storm.NewcomersRefused();
  figures["storm_newcomers_unanswered"] = storm.NewcomersUnanswered();
  figures["storm_newcomer_median_ms"] = Milliseconds(storm.PromptTimes(), 0.5);
  figures["storm_newcomer_max_ms"] = Milliseconds(storm.PromptTimes(), 1.0);
  figures["storm_round_trips"] = static_cast<double>(harness.RoundTrips().size());
  figures["storm_round_trip_median_ms"] = Milliseconds(harness.RoundTrips(), 0.5);
  figures["storm_round_trip_max_ms"] = Milliseconds(harness.RoundTrips(), 1.0);
}

void StalledUsers(Harness& harness, const Target& target, Figures& figures) {
  const int users = UserCount(harness);
  // Rounds of some 64 KiB to every stream, sixteen spots to a message, each round once the last
  // has been written. A user is cut once more than 1 MiB waits for it in the target, and the
  // kernel holds a few hundred KiB besides: after 3 MiB to a stream, more would change nothing.
  std::string spots;
  for (int k = 0; k < 16; ++k) spots += kSpot;
  const int per_round = 52;
  std::string round;
  for (const auto& user : harness.Users()) {
    for (int k = 0; k < per_round; ++k) round += Message(user->stream, spots);
  }
  const std::size_t round_bytes = per_round * spots.size();
  const int most_rounds = static_cast<int>(3 * 1024 * 1024 / round_bytes) + 1;

  const long rss_before = target.ResidentBytes();
  const long tcp_before = TcpMemoryPages();
  long rss_peak = rss_before;
  long tcp_peak = tcp_before;
  const auto sample = [&] {
    rss_peak = std::max(rss_peak, target.ResidentBytes());
    tcp_peak = std::max(tcp_peak, TcpMemoryPages());
  };
  harness.StopReading();
  int rounds = 0;
  int cut = EndedUsers(harness);
  std::uint64_t hang_ups = harness.HangUps();
  const auto start = Clock::now();
  auto sampled = start;
  auto progress = start;
  auto last_cut = start;
  const bool over = harness.RunUntil(
      [&] {
        const auto now = Clock::now();
        if (Seconds(sampled, now) >= 0.02) {
          sample();
          sampled = now;
        }
        if (harness.HangUps() != hang_ups) {
          hang_ups = harness.HangUps();
          cut = EndedUsers(harness);
          progress = last_cut = now;
        }
        if (cut == users) return true;
        if (harness.DownstreamWaiting() > 0) return false;
        if (rounds < most_rounds) {
          harness.SendDownstream(round);
          ++rounds;
          progress = now;
          return false;
        }
        // Everything has been sent: over once nobody has been cut for two seconds.
        return Seconds(progress, now) > 2;
      },
      90);
  if (!over) Fail("the stalled users");
  sample();

  figures["stalled_users"] = users;
  figures["stalled_cut"] = cut;
  figures["stalled_seconds_to_last_cut"] = cut > 0 ? Seconds(start, last_cut) : NAN;
  figures["stalled_sent_kib_per_user"] = static_cast<double>(rounds * round_bytes) / 1024;
  figures["stalled_rss_before_kib"] = static_cast<double>(rss_before) / 1024;
  figures["stalled_rss_peak_kib"] = static_cast<double>(rss_peak) / 1024;
  figures["stalled_rss_after_kib"] = static_cast<double>(target.ResidentBytes()) / 1024;
  figures["tcp_pages_before"] = static_cast<double>(tcp_before);
  figures["tcp_pages_peak"] = static_cast<double>(tcp_peak);
  // The users' ends still hold what they never read, until the tool closes them too.
  figures["tcp_pages_after"] = static_cast<double>(TcpMemoryPages());
  harness.CloseEndedUsers();
  figures["tcp_pages_after_closed"] = static_cast<double>(TcpMemoryPages());
}

}  // namespace velgate::load
