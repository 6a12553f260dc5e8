// The q-component engine shared by the simplicial hierarchy and the graph levels.
#pragma once

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <vector>

#include "core.hpp"
#include "dsu.hpp"
#include "level_classes.hpp"

namespace korvane {

// `sets` is a family of vertex sets over dense vertex ids below `vertex_count`,
// with no vertex repeated inside a set. For q = 0 .. level_count-1 the result's
// entry q partitions the sets with at least q+1 vertices into q-components: two
// sets are joined when they share at least q+1 vertices. Each class lists its set
// ids ascending, and the classes of a level come in ascending order of their
// smallest set id, so the result depends on nothing but the input. The levels
// below `lowest_level` are left empty, and the work only they need is skipped.
std::vector<Groups<index_t>> q_components_by_level(const Groups<index_t>& sets, index_t vertex_count,
                                                   std::size_t level_count, std::size_t lowest_level = 0);

// The engine behind it, one union-find from the top level down. A pair sharing
// c vertices is joined at every level q <= c-1, and a set with k vertices is
// present at every level q <= k-1, so each level only adds sets and merges the
// classes of the level above: on entering level q the classes are exactly the
// (q+1)-components. Level 0 joins the sets sharing a vertex; for q >= 1,
// `join(q, classes)` must unite pairs sharing q+1 vertices until the classes
// are those of the pairwise rule (every such pair, or a spanning subset of them).
// The engine stops after level `lowest_level`, leaving the levels below empty.
template <class Join>
std::vector<Groups<index_t>> top_down_levels(const Groups<index_t>& sets, index_t vertex_count,
                                             std::size_t level_count, std::size_t lowest_level, Ticker& tick,
                                             Join&& join) {
  std::vector<Groups<index_t>> levels(level_count);
  const index_t n = checked_index(sets.size());
  // arriving[q]: the sets whose highest level is q, ascending.
  std::vector<std::vector<index_t>> arriving(level_count);
  for (index_t s = 0; s < n; ++s)
    if (sets.length(s) > 0) arriving[std::min(sets.length(s), level_count) - 1].push_back(s);

  Dsu classes(n);
  ClassLister lister(n);
  std::vector<index_t> present, merged;
  for (std::size_t q = level_count; q-- > lowest_level;) {
    merged.clear();
    std::merge(present.begin(), present.end(), arriving[q].begin(), arriving[q].end(), std::back_inserter(merged));
    present.swap(merged);
    std::vector<index_t>().swap(arriving[q]);

    if (q == 0) {
      std::vector<index_t> first_holder(vertex_count, none);
      for (index_t s = 0; s < n; ++s) {
        tick(sets.length(s));
        for (const index_t* v = sets.begin(s); v != sets.end(s); ++v) {
          if (first_holder[*v] == none) first_holder[*v] = s;
          else classes.unite(first_holder[*v], s);
        }
      }
    } else {
      join(q, classes);
    }
    tick(present.size());
    levels[q] = lister.list(present, classes);
  }
  return levels;
}

}  // namespace korvane
