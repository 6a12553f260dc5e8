// A maximum spanning forest of a family of short bit rows under the weight
// |A & B|: the kernel that ties the holders of one vertex by their overlaps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core.hpp"
#include "hub_sets.hpp"

namespace korvane {

// A heavy word and the medium words of one set.
constexpr std::size_t row_words = 1 + medium_words;
struct BitRow {
  std::uint64_t words[row_words];
};

struct WeightedPair {
  index_t a;
  index_t b;
  index_t weight;
};

// Appends to `forest` count-1 pairs (indices into `rows`) whose union, at every
// threshold w, connects exactly the rows that chains of pairs of weight >= w
// connect: a maximum spanning tree of the complete graph (Prim, dense). It
// weighs D(D-1)/2 pairs for D distinct rows, taken from `budget`; when that is
// short it returns false, having spent only a sort. The scratch is kept from
// call to call, so that tying many lists allocates only for the longest.
class OverlapForest {
 public:
  bool tie(const std::vector<BitRow>& rows, std::vector<WeightedPair>& forest, std::uint64_t& budget, Ticker& tick);

 private:
  std::vector<index_t> order_;      // the rows, sorted
  std::vector<index_t> id_;         // per distinct row still outside the tree: its index in `rows`
  std::vector<BitRow> distinct_;    // the distinct rows still outside the tree
  std::vector<index_t> best_;       // their best weight to the tree so far
  std::vector<index_t> best_from_;  // and the tree row it comes from
};

}  // namespace korvane
