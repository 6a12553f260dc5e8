// The hub-aware join's main route: the holders of each light vertex tied once
// by a maximum spanning forest of their overlaps.
#pragma once

#include <cstdint>
#include <vector>

#include "core.hpp"
#include "hub_sets.hpp"
#include "overlap_forest.hpp"
#include "pairs_by_level.hpp"

namespace korvane {

// Reads the join's sets (their heavy and medium bits and their light
// vertices, medium then rare) and the holders of each light vertex, and keeps
// the pairs the forests find in `joined`, for the levels they reach. The
// forests may weigh `budget` pairs in all.
class LightForests {
 public:
  LightForests(const std::vector<SetBits>& bits, const Groups<index_t>& light, const Groups<Holder>& holders,
               PairsByLevel& joined, std::uint64_t budget)
      : bits_(bits), light_(light), holders_(holders), joined_(joined), budget_(budget) {}

  // Ties the holders of v, of medium rank `medium`; false, leaving v to the
  // pairing, when the forest would overrun the budget.
  bool tie_medium(index_t v, index_t medium, Ticker& tick);
  // Ties the holders of every rare vertex in `rare`, or of none, returning
  // false, when their pairs would overrun the budget.
  bool tie_rare(const std::vector<index_t>& rare, Ticker& tick);

 private:
  bool tie_by_forest(index_t v, const std::uint64_t (&keep)[medium_words], index_t extra, std::uint64_t& budget,
                     Ticker& tick);

  const std::vector<SetBits>& bits_;
  const Groups<index_t>& light_;
  const Groups<Holder>& holders_;
  PairsByLevel& joined_;
  std::uint64_t budget_;              // the pairs the forests may still weigh
  OverlapForest overlap_forest_;      // scratch for tie_by_forest: the kernel,
  std::vector<BitRow> rows_;          // the rows of one list
  std::vector<WeightedPair> forest_;  // and its forest
};

}  // namespace korvane
