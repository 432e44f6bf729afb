// Load tool: plays the cluster server and N users (nine to a 127.x.y.z address) against the
// gateway and against a plain relay that does the same socket work without the gateway's rules,
// alternately, several passes each, and prints the medians with their ratios: a table on the
// screen, one JSON line per figure, and a CSV for the plot. Loopback only; it ends by itself.
//
//   velgate_load --gateway PATH --relay PATH [--streams 100,1000] [--passes 3] [--out DIR]
//                [--only fanout|fanout_8_waiting|upstream|latency|spot|monitored|accepts|
//                        storm|stalled]
//                [--relay-too no] [--startup no] [--config-extra '"Key",value' ...]
// --only runs the logins and that one scenario (for a profile of it); latency needs fan-out
// and upstream first and runs them too. The storm and the stalled users run only when named:
// the one leaves thousands of sockets in TIME_WAIT, the other cuts every user.
// --config-extra adds a record to the gateway's Velgate.cfg; it may be given more than once.

#include <asio/io_context.hpp>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Harness.h"
#include "Scenarios.h"
#include "Target.h"
#include "platform/Process.h"

namespace {

using velgate::load::Figures;
using velgate::load::Harness;
using velgate::load::Target;

struct Options {
  std::string gateway;
  std::string relay;
  std::vector<int> streams{100, 1000};
  int passes = 3;
  std::string out = ".";
  bool relay_too = true;
  bool startup = true;
  std::string only;                       // one scenario after the logins, or all of them
  std::vector<std::string> config_extra;  // records added to the gateway's Velgate.cfg
};

Options ReadOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    const std::string value = argv[i + 1];
    if (key == "--gateway") options.gateway = value;
    if (key == "--relay") options.relay = value;
    if (key == "--passes") options.passes = std::stoi(value);
    if (key == "--out") options.out = value;
    if (key == "--only") options.only = value;
    if (key == "--relay-too") options.relay_too = value != "no";
    if (key == "--startup") options.startup = value != "no";
    if (key == "--config-extra") options.config_extra.push_back(value);
    if (key == "--streams") {
      options.streams.clear();
      std::istringstream list(value);
      for (std::string item; std::getline(list, item, ',');)
        options.streams.push_back(std::stoi(item));
    }
  }
  if (options.gateway.empty() || options.relay.empty()) {
    std::fprintf(stderr,
                 "usage: velgate_load --gateway PATH --relay PATH [--streams 100,1000] "
                 "[--passes 3] [--out DIR]\n");
    std::exit(2);
  }
  return options;
}

// Every scenario against one freshly started target with n users.
Figures RunPass(Target target, int n, const std::string& only) {
  asio::io_context io;
  Harness harness(io, target);
  Figures figures;
  if (!harness.ConnectCluster()) {
    std::fprintf(stderr, "load: %s did not come online\n", target.Name().c_str());
    std::exit(1);
  }
  const auto wanted = [&](const char* name) { return only.empty() || only == name; };
  velgate::load::Logins(harness, target, n, figures);
  if (wanted("fanout") || only == "latency")
    velgate::load::FanOut(harness, target, 1, "fanout", figures);
  if (wanted("fanout_8_waiting"))
    velgate::load::FanOut(harness, target, 8, "fanout_8_waiting", figures);
  if (wanted("upstream") || only == "latency") velgate::load::Upstream(harness, target, figures);
  if (wanted("latency")) velgate::load::Latency(harness, figures);
  if (wanted("spot")) velgate::load::SpotToAll(harness, figures);
  if (wanted("monitored") && target.IsGateway())
    velgate::load::FanOutWatched(harness, target, figures);
  if (wanted("accepts")) velgate::load::Accepts(harness, figures);
  if (only == "storm") velgate::load::ConnectionStorm(harness, target, figures);
  if (only == "stalled") velgate::load::StalledUsers(harness, target, figures);
  target.Stop();
  return figures;
}

double Median(std::vector<double> values) {
  std::erase_if(values, [](double v) { return std::isnan(v); });
  if (values.empty()) return NAN;
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

using Runs = std::map<std::string, std::map<std::string, std::vector<double>>>;  // target, figure

}  // namespace

int main(int argc, char** argv) {
  const Options options = ReadOptions(argc, argv);
  velgate::RaiseOpenFilesLimit();
  std::ofstream json(options.out + "/load.jsonl");
  std::ofstream csv(options.out + "/load.csv");
  csv << "streams,figure,velgate,relay,ratio\n";

  // Start-up with PreLoad 32,000: launch to the cluster port listening.
  if (options.startup) {
    std::vector<double> startup;
    for (int pass = 0; pass < options.passes; ++pass)
      startup.push_back(Target::Gateway(options.gateway, 32000).SecondsToListen() * 1000);
    std::printf("start-up with PreLoad 32,000: listening %.0f ms after launch (median of %d)\n",
                Median(startup), options.passes);
    json << "{\"figure\":\"startup_preload_32000_ms\",\"velgate\":" << Median(startup) << "}\n";
  }

  for (const int n : options.streams) {
    Runs runs;
    for (int pass = 0; pass < options.passes; ++pass) {
      // Alternate which goes first, so neither always meets a machine warmed by the other.
      for (int turn = 0; turn < 2; ++turn) {
        const bool gateway = (turn + pass) % 2 == 0;
        if (!gateway && !options.relay_too) continue;
        Target target = gateway ? Target::Gateway(options.gateway, 0, options.config_extra)
                                : Target::Relay(options.relay);
        const std::string name = target.Name();
        for (const auto& [figure, value] : RunPass(std::move(target), n, options.only))
          runs[name][figure].push_back(value);
      }
    }
    std::printf("\n%d streams (median of %d passes)\n", n, options.passes);
    for (const std::string& record : options.config_extra)
      std::printf("velgate with %s\n", record.c_str());
    std::printf("%-28s %14s %14s %8s\n", "figure", "velgate", "relay", "ratio");
    for (const auto& [figure, values] : runs["velgate"]) {
      const double ours = Median(values);
      const double floor = runs["relay"].contains(figure) ? Median(runs["relay"][figure]) : NAN;
      const double ratio = ours / floor;
      std::printf("%-28s %14.1f %14.1f %8.2f\n", figure.c_str(), ours, floor, ratio);
      json << "{\"streams\":" << n << ",\"figure\":\"" << figure << "\",\"velgate\":" << ours
           << ",\"relay\":" << (std::isnan(floor) ? std::string("null") : std::to_string(floor))
           << "}\n";
      csv << n << "," << figure << "," << ours << "," << floor << "," << ratio << "\n";
    }
  }
  return 0;
}
