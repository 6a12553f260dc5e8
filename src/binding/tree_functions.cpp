#include "tree_functions.hpp"

#include <optional>
#include <utility>
#include <vector>

#include "arguments.hpp"
#include "lib.hpp"
#include "results.hpp"
#include "signals.hpp"
#include "tree_queries.hpp"

namespace korvane::binding {
namespace {

// The vertex sets of `records`, in that order.
Groups<index_t> vertex_sets(const CommunityTree& tree, const std::vector<index_t>& records) {
  Groups<index_t> sets;
  TreeWalk walk(tree);
  for (const index_t r : records) {
    walk.vertices(r, sets.items);
    sets.close_group();
  }
  return sets;
}

// The records alive at `arguments[2]` at level q, with at least `least` vertices.
PyRef alive(const Arguments& arguments, std::int64_t q, std::size_t least, Ticker& tick) {
  CommunityTree tree;
  double weight = 0;
  if (!convert_tree(arguments[0], tree, tick) || !convert_weight(arguments[2], weight)) return {};
  std::vector<index_t> kept;
  const Groups<index_t> sets = without_interpreter_lock([&] {
    const std::vector<index_t> records = alive_records(tree, q, weight);
    Groups<index_t> all = vertex_sets(tree, records), large;
    for (std::size_t i = 0; i < records.size(); ++i) {
      if (all.length(i) < least) continue;
      kept.push_back(records[i]);
      large.items.insert(large.items.end(), all.begin(i), all.end(i));
      large.close_group();
    }
    return large;
  });
  return build_indexed_sets(kept, sets, tree.ids, tick);
}

}  // namespace

PyRef persistence_tree(const Arguments& arguments, Ticker& tick) {
  std::vector<WeightedEdge> edges;
  std::optional<std::uint64_t> size_cap;
  bool grouped = false;
  if (!convert_edge_tuples(arguments[0], edges, tick) || !convert_size_cap(arguments[1], size_cap) ||
      !convert_ties(arguments[2], grouped))
    return {};
  const auto tree =
      without_interpreter_lock([&] { return build_community_tree(std::move(edges), size_cap, grouped); });
  return build_tree(tree, tick);
}

PyRef tree_vertices(const Arguments& arguments, Ticker& tick) {
  CommunityTree tree;
  std::int64_t record = 0;
  if (!convert_tree(arguments[0], tree, tick) || !convert_level(arguments[1], record)) return {};
  const auto count = static_cast<std::int64_t>(tree.size());
  if (record < 0) record += count;
  if (record < 0 || record >= count) {
    PyErr_SetString(PyExc_IndexError, "tree record index out of range");
    return {};
  }
  std::vector<index_t> vertices;
  without_interpreter_lock([&] { TreeWalk(tree).vertices(static_cast<index_t>(record), vertices); });
  return build_vertex_list(vertices, tree.ids, tick);
}

PyRef tree_alive(const Arguments& arguments, Ticker& tick) {
  std::int64_t q = 0;
  if (!convert_level(arguments[1], q)) return {};
  return alive(arguments, q, 0, tick);
}

PyRef tree_communities(const Arguments& arguments, Ticker& tick) {
  std::int64_t k = 0;
  if (!convert_level(arguments[1], k)) return {};
  if (k < 2) {
    PyErr_Format(PyExc_ValueError, "k must be at least 2, not %lld", static_cast<long long>(k));
    return {};
  }
  return alive(arguments, k - 2, static_cast<std::size_t>(k), tick);
}

PyRef tree_records(const Arguments& arguments, Ticker& tick) {
  CommunityTree tree;
  if (!convert_tree(arguments[0], tree, tick)) return {};
  const Groups<index_t> sets = without_interpreter_lock([&] { return all_vertex_sets(tree); });
  return build_tree_records(tree, sets, tick);
}

}  // namespace korvane::binding
