#include "overlap_forest.hpp"

#include <algorithm>

#include "bitsets.hpp"

namespace korvane {

namespace {

// One Prim step: raises best[h] to the weight |row & rows[h]|, over the first
// Words words, where that is more, and returns the remaining row with the best
// weight. Rows whose last word is empty throughout are weighed without it.
template <std::size_t Words>
#if defined(__GNUC__)
__attribute__((always_inline))
#endif
inline std::size_t prim_step(const BitRow& row, index_t from, const BitRow* rows, index_t* best, index_t* best_from,
                             std::size_t left) {
  index_t top = 0;
  std::size_t next = 0;
  for (std::size_t h = 0; h < left; ++h) {
    index_t shared = 0;
    for (std::size_t w = 0; w < Words; ++w) shared += static_cast<index_t>(popcount64(row.words[w] & rows[h].words[w]));
    if (shared > best[h]) {
      best[h] = shared;
      best_from[h] = from;
    }
    if (best[h] > top) {
      top = best[h];
      next = h;
    }
  }
  return next;
}

using StepFn = std::size_t (*)(const BitRow&, index_t, const BitRow*, index_t*, index_t*, std::size_t);

template <std::size_t Words>
std::size_t plain_step(const BitRow& row, index_t from, const BitRow* rows, index_t* best, index_t* best_from,
                       std::size_t left) {
  return prim_step<Words>(row, from, rows, best, best_from, left);
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__)) && !defined(__POPCNT__)
// The same step built for the popcnt instruction, which popcount64 becomes
// there. No exception passes through it: the caller ticks between steps.
template <std::size_t Words>
__attribute__((target("popcnt"))) std::size_t popcnt_step(const BitRow& row, index_t from, const BitRow* rows,
                                                          index_t* best, index_t* best_from, std::size_t left) {
  return prim_step<Words>(row, from, rows, best, best_from, left);
}
// The bit-count instruction when this processor has it (any x86-64 of the
// last fifteen years), chosen once.
StepFn chosen_step(bool last_word) {
  static const bool has_popcnt = __builtin_cpu_supports("popcnt");
  if (has_popcnt) return last_word ? popcnt_step<row_words> : popcnt_step<row_words - 1>;
  return last_word ? plain_step<row_words> : plain_step<row_words - 1>;
}
#else
StepFn chosen_step(bool last_word) { return last_word ? plain_step<row_words> : plain_step<row_words - 1>; }
#endif

bool row_less(const BitRow& x, const BitRow& y) {
  return std::lexicographical_compare(std::begin(x.words), std::end(x.words), std::begin(y.words), std::end(y.words));
}

}  // namespace

bool OverlapForest::tie(const std::vector<BitRow>& rows, std::vector<WeightedPair>& forest, std::uint64_t& budget,
                        Ticker& tick) {
  if (rows.size() < 2) return true;
  // Equal rows share all their bits: a chain ties them, and one of them stands
  // for the others in the tree.
  order_.resize(rows.size());
  for (std::size_t k = 0; k < rows.size(); ++k) order_[k] = static_cast<index_t>(k);
  std::sort(order_.begin(), order_.end(), [&rows](index_t a, index_t b) { return row_less(rows[a], rows[b]); });
  tick(rows.size() * 8);
  id_.clear();
  distinct_.clear();
  for (std::size_t k = 0; k < order_.size(); ++k) {
    const BitRow& row = rows[order_[k]];
    if (k > 0 && !row_less(rows[order_[k - 1]], row))
      forest.push_back({order_[k - 1], order_[k], static_cast<index_t>(popcount64(row.words[0]) + popcount64(row.words[1]) + popcount64(row.words[2]))});
    else {
      id_.push_back(order_[k]);
      distinct_.push_back(row);
    }
  }
  std::size_t left = distinct_.size();
  const std::uint64_t weighed = std::uint64_t{left} * (left - 1) / 2;
  if (weighed > budget) return false;
  budget -= weighed;
  // Prim over the distinct rows. Those not yet in the tree are packed at the
  // front: their index, the best weight to the tree so far and where from.
  // A row that shares nothing with the tree is tied to its first row, at
  // weight 0.
  best_.assign(left, 0);
  best_from_.assign(left, id_[0]);
  bool last_word = false;
  for (const BitRow& row : distinct_) last_word = last_word || row.words[row_words - 1] != 0;
  const StepFn step = chosen_step(last_word);
  std::size_t next = 0;
  while (left > 1) {
    const index_t current = id_[next];
    const BitRow row = distinct_[next];
    --left;
    id_[next] = id_[left];
    distinct_[next] = distinct_[left];
    best_[next] = best_[left];
    best_from_[next] = best_from_[left];
    next = step(row, current, distinct_.data(), best_.data(), best_from_.data(), left);
    forest.push_back({best_from_[next], id_[next], best_[next]});
    tick(left);
  }
  return true;
}

}  // namespace korvane
