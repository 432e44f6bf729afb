#pragma once
// The load scenarios, each run against a target whose users are already logged in. Every
// scenario returns its figures by name; throughputs in units per second, latencies in
// microseconds (the storm's in milliseconds), the target's CPU in microseconds per unit of work.

#include <map>
#include <string>

#include "Harness.h"

namespace velgate::load {

using Figures = std::map<std::string, double>;

/// Fills the table: n users connect, get the prompt, send their login line and are confirmed.
void Logins(Harness& harness, const Target& target, int n, Figures& figures);
/// One 80-character code-0 message to every stream per round, `waiting` in a row per stream.
void FanOut(Harness& harness, const Target& target, int waiting, const std::string& name,
            Figures& figures);
/// Every user sends lines; counted as AA00 messages at the cluster.
void Upstream(Harness& harness, const Target& target, Figures& figures);
/// Probes both ways at a tenth of the fan-out and upstream rates measured before.
void Latency(Harness& harness, Figures& figures);
/// One spot to every stream at once, round after round: the time until the last user has it.
void SpotToAll(Harness& harness, Figures& figures);
/// Fan-out again with a monitor client following the first stream with the feed on.
void FanOutWatched(Harness& harness, const Target& target, Figures& figures);
/// Connection requests served while every user stays connected.
void Accepts(Harness& harness, Figures& figures);
/// 10,000 requests from 50 addresses that hang up at once: what reaches the cluster, how long a
/// newcomer waits for the prompt meanwhile, and the users' round trip.
void ConnectionStorm(Harness& harness, const Target& target, Figures& figures);
/// Every user stops reading while the cluster keeps sending to it: the target's memory and the
/// kernel's, and how many users are cut at their queue's cap. The users are gone afterwards.
void StalledUsers(Harness& harness, const Target& target, Figures& figures);

}  // namespace velgate::load
