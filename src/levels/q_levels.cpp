#include "q_levels.hpp"

#include <algorithm>
#include <cstdint>
#include <numeric>

#include "pairs_by_level.hpp"
#include "prefix_join.hpp"

namespace korvane {

namespace {

// incidence group v: the ids of the sets holding vertex v, ascending.
Groups<index_t> incidence_of(const Groups<index_t>& sets, index_t vertex_count) {
  Groups<index_t> incidence;
  incidence.starts.assign(std::size_t{vertex_count} + 1, 0);
  for (index_t v : sets.items) ++incidence.starts[v + 1];
  std::partial_sum(incidence.starts.begin(), incidence.starts.end(), incidence.starts.begin());
  incidence.items.resize(sets.items.size());
  std::vector<std::size_t> fill(incidence.starts.begin(), incidence.starts.end() - 1);
  for (std::size_t s = 0; s < sets.size(); ++s)
    for (const index_t* v = sets.begin(s); v != sets.end(s); ++v) incidence.items[fill[*v]++] = static_cast<index_t>(s);
  return incidence;
}

// Pairs of sets sharing at least two vertices, bucketed by the highest level at
// which they are joined: overlap - 1, capped at the top level. Pairs sharing a
// single vertex only matter at level 0, where the engine joins them
// directly, so they are never stored; nor are pairs sharing at most `lowest`
// vertices, which only join levels below `lowest`. Overlaps are counted
// through the incidence lists, so only pairs that share a vertex are ever
// looked at.
PairsByLevel pairs_by_join_level(const Groups<index_t>& sets, const Groups<index_t>& incidence, std::size_t level_count,
                                 std::size_t lowest, Ticker& tick) {
  const index_t least_shared = static_cast<index_t>(std::max<std::size_t>(2, lowest + 1));
  PairsByLevel by_level(level_count);
  const index_t n = static_cast<index_t>(sets.size());
  std::vector<index_t> shared(n, 0);
  std::vector<index_t> touched;
  // cursor[v] walks incidence group v; when set i is processed it points at i,
  // since the sets holding v are visited in ascending order.
  std::vector<std::size_t> cursor(incidence.starts.begin(), incidence.starts.end() - 1);
  for (index_t i = 0; i < n; ++i) {
    for (const index_t* v = sets.begin(i); v != sets.end(i); ++v) {
      const index_t* later = incidence.items.data() + (++cursor[*v]);
      const index_t* stop = incidence.end(*v);
      tick(static_cast<std::size_t>(stop - later) + 1);
      for (; later != stop; ++later)
        if (shared[*later]++ == 0) touched.push_back(*later);
    }
    for (index_t j : touched) {
      if (shared[j] >= least_shared) by_level.add_shared(shared[j], i, j);
      shared[j] = 0;
    }
    touched.clear();
  }
  return by_level;
}

// Counting every overlap costs the sum over vertices of d(v)^2, d(v) the number
// of sets holding v; past a few dozen per vertex occurrence, hubs dominate.
bool has_hubs(const Groups<index_t>& incidence) {
  std::uint64_t pairs = 0;
  for (std::size_t v = 0; v < incidence.size(); ++v) pairs += std::uint64_t{incidence.length(v)} * incidence.length(v);
  return pairs > 64 * std::uint64_t{incidence.items.size()};
}

}  // namespace

std::vector<Groups<index_t>> q_components_by_level(const Groups<index_t>& sets, index_t vertex_count,
                                                   std::size_t level_count, std::size_t lowest_level) {
  if (level_count == 0) return std::vector<Groups<index_t>>(level_count);
  Ticker tick;
  checked_index(sets.size());
  const Groups<index_t> incidence = incidence_of(sets, vertex_count);
  if (level_count > 1 && has_hubs(incidence)) {
    PrefixJoin join(sets, vertex_count, level_count, tick);
    return top_down_levels(sets, vertex_count, level_count, lowest_level, tick,
                           [&](std::size_t q, Dsu& classes) { join.join(q, classes, tick); });
  }
  PairsByLevel pairs;
  if (level_count > 1) pairs = pairs_by_join_level(sets, incidence, level_count, lowest_level, tick);
  return top_down_levels(sets, vertex_count, level_count, lowest_level, tick,
                         [&](std::size_t q, Dsu& classes) { pairs.unite(q, classes); });
}

}  // namespace korvane
