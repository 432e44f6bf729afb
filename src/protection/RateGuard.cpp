#include "protection/RateGuard.h"

namespace velgate {

std::size_t RateGuard::SetOf(std::uint64_t key) {
  // A multiplicative hash spreads neighbouring addresses over the sets.
  return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 40) % kSets;
}

RateGuard::Verdict RateGuard::Ask(std::uint64_t key, std::int64_t now_ms, Limits limits) {
  if (limits.Off()) return Verdict::kAllowed;
  Entry* const set = &entries_[SetOf(key) * kWays];
  Entry* entry = nullptr;
  Entry* oldest = set;
  for (std::size_t way = 0; way < kWays; ++way) {
    if (set[way].key == key) {
      entry = &set[way];
      break;
    }
    if (Age(set[way]) < Age(*oldest)) oldest = &set[way];
  }
  if (entry == nullptr) {
    entry = oldest;
    if (entry->refused != 0) EndSpell(*entry);
    *entry = Entry{key, now_ms, std::int64_t{limits.window_s} * 1000, 0, 0};
  } else if (now_ms - entry->window_start_ms >= entry->window_ms) {
    if (entry->refused != 0) EndSpell(*entry);
    *entry = Entry{key, now_ms, std::int64_t{limits.window_s} * 1000, 0, 0};
  }
  if (entry->requests < static_cast<std::uint32_t>(limits.most)) {
    ++entry->requests;
    return Verdict::kAllowed;
  }
  if (entry->refused++ != 0) return Verdict::kRefused;
  ++open_spells_;
  return Verdict::kFirstRefusal;
}

void RateGuard::EndSpells(std::int64_t now_ms) {
  if (open_spells_ == 0) return;
  for (Entry& entry : entries_) {
    if (entry.refused != 0 && now_ms - entry.window_start_ms >= entry.window_ms) EndSpell(entry);
  }
}

void RateGuard::EndSpell(Entry& entry) {
  const SpellEnded ended{entry.key, entry.refused};
  entry.refused = 0;
  --open_spells_;
  on_spell_ended_(ended);
}

}  // namespace velgate
