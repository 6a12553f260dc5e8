// Joining the sets that share q+1 vertices without counting every overlap:
// the levels engine's route for families with hub vertices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core.hpp"
#include "dsu.hpp"
#include "hub_sets.hpp"
#include "light_forests.hpp"
#include "pairs_by_level.hpp"

namespace korvane {

// Vertices are ranked heaviest first (most sets first) and every set lists its
// vertices in that order. A few of the heaviest vertices are kept as a bitmask
// per set; every other ("light") vertex v keeps the list of the sets holding it
// with v's position in each.
//
// Two sets sharing c >= t vertices either share only heavy vertices, and then
// their masks alone tie them (a spanning forest over the distinct masks, built
// once), or they share a light vertex. Their lightest shared vertex e then has
// the c-1 other shared vertices before it in both sets, so e sits at position
// >= t-1 in both: the pair meets in the list of e cut to those positions.
//
// The next heaviest light vertices ("medium") are also kept as bits per set.
// Within a per-call budget the holders of each light vertex are tied once, by a
// maximum spanning forest under a lower bound of their overlap read off the
// bits that is exact for the pairs meeting first there (the pairs sharing two
// rare vertices are counted apart), and the forests' pairs wait for their
// level. Past the budget a list is paired incrementally instead: it grows by
// one position per level, and a pair is looked at when it first meets, at its
// lightest shared vertex, then kept for the level its overlap reaches; at a
// rare vertex its overlap is bounded by positions and counted only if its
// classes still differ at that bound.
class PrefixJoin {
 public:
  // The spanning forests of mid-frequency and rare vertices' holders may weigh
  // `forest_budget_per_item` pairs per vertex occurrence in all; the lists
  // beyond it are paired one by one as classes form, whose cost falls as
  // classes grow.
  static constexpr std::uint64_t default_forest_budget = 512;

  PrefixJoin(const Groups<index_t>& sets, index_t vertex_count, std::size_t level_count, Ticker& tick,
             std::uint64_t forest_budget_per_item = default_forest_budget);

  // With `classes` holding the components of the level above, unites every two
  // sets that share at least q+1 vertices (q >= 1).
  void join(std::size_t q, Dsu& classes, Ticker& tick);

 private:
  void choose_heavy(const Groups<index_t>& sets, const std::vector<index_t>& degree,
                    const std::vector<index_t>& by_weight, Ticker& tick);
  void join_by_masks(Ticker& tick);
  void chain_common(index_t v);
  void join_list(index_t v, index_t first_new, std::size_t t, Dsu& classes, Ticker& tick);
  void join_deferred(std::size_t q, Dsu& classes, Ticker& tick);
  void stamp(index_t a);
  std::size_t overlap(index_t a, index_t b) const;

  std::vector<SetBits> bits_;            // per set: its heavy and medium vertices
  Groups<index_t> light_;                // per set: its light vertices, medium then rare
  Groups<Holder> holders_;               // per vertex: the sets holding it, position descending
  std::vector<index_t> active_;          // per vertex: how many holders reach the current level
  std::vector<index_t> uniform_;         // per vertex: its first holders, known to be in one class
  std::vector<index_t> listed_;          // the light vertices with two or more active holders
  PairsByLevel mask_pairs_;              // pairs tied by their heavy vertices alone
  PairsByLevel joined_;                  // pairs sharing at least level+1 vertices
  PairsByLevel deferred_;                // pairs sharing at most level+1 vertices
  std::vector<std::size_t> heavy_rank_;  // per vertex: its rank if heavy, else 64
  std::vector<index_t> medium_rank_;     // per vertex: its rank among the medium ones, else max_medium
  std::vector<index_t> common_;          // per vertex: how many vertices all its holders share
  LightForests forests_;                 // ties the holders of light vertices where the budget allows

  // Scratch for counting overlaps.
  std::vector<index_t> stamp_;
  index_t stamp_value_ = 0;
  index_t stamped_ = none;  // the set whose rare vertices carry stamp_value_
};

}  // namespace korvane
