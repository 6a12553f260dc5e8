#include "lib.hpp"

#include <algorithm>
#include <cstddef>

#include "q_levels.hpp"
#include "vertex_index.hpp"

namespace korvane {

std::vector<Groups<index_t>> find_hierarchical_q_components(const Groups<vertex_t>& simplices) {
  if (simplices.size() == 0) return {};
  checked_index(simplices.size());

  // Only equality of vertex ids matters here, so dense ids in order of first appearance do.
  VertexIndex dense(simplices.items.size() / 4);
  Groups<index_t> sets;
  sets.starts.reserve(simplices.starts.size());
  sets.items.reserve(simplices.items.size());
  std::size_t largest = 0;
  Ticker tick;
  for (std::size_t s = 0; s < simplices.size(); ++s) {
    tick(8 * simplices.length(s) + 1);  // a hash look-up and a sort per vertex
    const std::size_t first = sets.items.size();
    for (const vertex_t* v = simplices.begin(s); v != simplices.end(s); ++v)
      sets.items.push_back(dense.insert(*v));
    std::sort(sets.items.begin() + first, sets.items.end());
    sets.items.erase(std::unique(sets.items.begin() + first, sets.items.end()), sets.items.end());
    largest = std::max(largest, sets.items.size() - first);
    sets.close_group();
  }
  // Every simplex empty: a single level without components.
  if (largest == 0) return std::vector<Groups<index_t>>(1);
  return q_components_by_level(sets, checked_index(dense.size()), largest);
}

}  // namespace korvane
