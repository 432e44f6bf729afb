#pragma once
// The connection-rate guard: an address that asks for more connections than a set number within
// a set time is refused at the door until its time is up. Reconnect storms (a logging program
// that retries every second, a spot feed in a loop, a scanner) never reach the cluster server.
//
// Each address is counted in a window that opens with its first request and lasts the set time;
// the requests after the allowance are refused and counted. That run of refusals is a spell: its
// first refusal is told at once, its end (the window over) with how many were refused.
//
// The table is fixed: sets of four addresses chosen by a hash, the oldest of a full set giving
// way to a newcomer. A request costs the same however many addresses call; nothing allocates.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velgate {

class RateGuard {
 public:
  static constexpr std::size_t kSets = 2048;
  static constexpr std::size_t kWays = 4;
  static constexpr std::size_t kTracked = kSets * kWays;

  /// How many requests an address may make in how many seconds; either 0: no limit.
  struct Limits {
    std::int32_t most = 0;
    std::int32_t window_s = 0;
    bool Off() const { return most <= 0 || window_s <= 0; }
  };
  enum class Verdict {
    kAllowed,
    kFirstRefusal,  ///< refused, and a spell begins: tell it
    kRefused,       ///< refused within a spell already told
  };
  /// A spell that ended: the address's key and how many requests it refused.
  struct SpellEnded {
    std::uint64_t key = 0;
    std::int64_t refused = 0;
  };

  explicit RateGuard(std::function<void(const SpellEnded&)> on_spell_ended)
      : on_spell_ended_(std::move(on_spell_ended)) {}

  /// Counts one connection request from key (IpAddress::CountKey) at now_ms (steady) and says
  /// whether it may go on.
  Verdict Ask(std::uint64_t key, std::int64_t now_ms, Limits limits);
  /// Ends the spells whose window is over by now_ms, telling each. Cheap when none is open.
  void EndSpells(std::int64_t now_ms);
  /// Spells going on now.
  std::size_t OpenSpells() const { return open_spells_; }

 private:
  struct Entry {
    std::uint64_t key = 0;  // 0: free
    std::int64_t window_start_ms = 0;
    std::int64_t window_ms = 0;
    std::uint32_t requests = 0;
    std::uint32_t refused = 0;  // non-zero: in a spell
  };

  void EndSpell(Entry& entry);
  static std::size_t SetOf(std::uint64_t key);
  /// A free entry counts as the oldest of all.
  static std::int64_t Age(const Entry& entry) {
    return entry.key == 0 ? INT64_MIN : entry.window_start_ms;
  }

  std::vector<Entry> entries_ = std::vector<Entry>(kTracked);
  std::size_t open_spells_ = 0;
  std::function<void(const SpellEnded&)> on_spell_ended_;
};

}  // namespace velgate
