// Pairs of ids waiting for the level at which they are joined: the one pair
// type of the core, and the buckets that hold pairs by level.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

#include "core.hpp"
#include "dsu.hpp"

namespace korvane {

// Two dense ids to be joined.
struct IdPair {
  index_t a;
  index_t b;
};

// Levels 0 .. level_count()-1, each with the pairs kept for it, in the order
// they came.
class PairsByLevel {
 public:
  explicit PairsByLevel(std::size_t level_count = 0) : by_level_(level_count), level_count_(level_count) {}

  std::size_t level_count() const { return level_count_; }
  // Empties every level and sets their number, keeping the room they had.
  void reset(std::size_t level_count) {
    if (by_level_.size() < level_count) by_level_.resize(level_count);
    for (std::size_t q = 0; q < level_count; ++q) by_level_[q].clear();
    level_count_ = level_count;
  }

  void add(std::size_t level, index_t a, index_t b) { by_level_[level].push_back({a, b}); }
  // A pair of sets sharing `shared` >= 1 vertices is joined at every level
  // below `shared`: it is kept for the highest, levels past the top counting
  // as the top.
  void add_shared(std::size_t shared, index_t a, index_t b) { add(std::min(shared, level_count_) - 1, a, b); }

  // The pairs of `level`; none for a level past the top.
  const IdPair* begin(std::size_t level) const { return level < level_count_ ? by_level_[level].data() : nullptr; }
  const IdPair* end(std::size_t level) const {
    return level < level_count_ ? by_level_[level].data() + by_level_[level].size() : nullptr;
  }
  // Hands over the pairs of `level`, leaving none behind.
  std::vector<IdPair> take(std::size_t level) {
    std::vector<IdPair> pairs;
    pairs.swap(by_level_[level]);
    return pairs;
  }
  // Unites the pairs of `level` in `classes`, and lets them go.
  void unite(std::size_t level, Dsu& classes) {
    for (const IdPair& p : take(level)) classes.unite(p.a, p.b);
  }

 private:
  std::vector<std::vector<IdPair>> by_level_;
  std::size_t level_count_;
};

}  // namespace korvane
