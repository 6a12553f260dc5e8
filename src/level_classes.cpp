#include "level_classes.hpp"

#include <algorithm>

namespace korvane {

// Dense order is caller order, so comparing dense lists orders the caller
// lists the same way.
void append_sorted_as_caller_ids(const Graph& graph, const Groups<index_t>& dense, Groups<vertex_t>& out) {
  // Sort by (first vertex, group) packed in one word, then settle groups that
  // share a first vertex by comparing their whole lists.
  std::vector<std::uint64_t> keys(dense.size());
  for (index_t g = 0; g < keys.size(); ++g) keys[g] = std::uint64_t{*dense.begin(g)} << 32 | g;
  std::sort(keys.begin(), keys.end());
  const auto group_of = [](std::uint64_t key) { return static_cast<index_t>(key); };
  const auto lexicographic = [&](std::uint64_t a, std::uint64_t b) {
    return std::lexicographical_compare(dense.begin(group_of(a)), dense.end(group_of(a)), dense.begin(group_of(b)),
                                        dense.end(group_of(b)));
  };
  for (auto run = keys.begin(); run != keys.end();) {
    const auto run_end = std::find_if(run, keys.end(), [&](std::uint64_t key) { return key >> 32 != *run >> 32; });
    if (run_end - run > 1) std::sort(run, run_end, lexicographic);
    run = run_end;
  }
  out.items.reserve(dense.items.size());
  out.starts.reserve(dense.size() + 1);
  for (const std::uint64_t key : keys) {
    for (const index_t* v = dense.begin(group_of(key)); v != dense.end(group_of(key)); ++v) out.items.push_back(graph.ids[*v]);
    out.close_group();
  }
}

}  // namespace korvane
