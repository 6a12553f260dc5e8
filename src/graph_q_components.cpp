#include "graph_q_components.hpp"

#include <algorithm>

#include "clique_levels.hpp"
#include "clique_route.hpp"
#include "facet_levels.hpp"
#include "maximal_cliques.hpp"
#include "q_levels.hpp"

namespace korvane {

namespace {

constexpr index_t no_vertex = static_cast<index_t>(-1);

// dense_end[2 * e + side]: the dense id of that end of edge e. Fills graph.ids.
std::vector<index_t> number_edge_ends(const std::vector<Edge>& edges, Graph& graph) {
  std::vector<index_t> dense_end(2 * edges.size());
  vertex_t largest = 0;
  for (const Edge& edge : edges) largest = std::max({largest, edge.first, edge.second});
  if (largest < 4 * dense_end.size() + 64) {
    // Ids in a small range: number them through a table indexed by id.
    std::vector<index_t> dense_of(static_cast<std::size_t>(largest) + 1, no_vertex);
    for (const Edge& edge : edges) dense_of[edge.first] = dense_of[edge.second] = 0;
    for (std::size_t id = 0; id < dense_of.size(); ++id) {
      if (dense_of[id] == no_vertex) continue;
      dense_of[id] = checked_index(graph.ids.size());
      graph.ids.push_back(id);
    }
    for (std::size_t e = 0; e < edges.size(); ++e) {
      dense_end[2 * e] = dense_of[edges[e].first];
      dense_end[2 * e + 1] = dense_of[edges[e].second];
    }
    return dense_end;
  }
  // Otherwise sort the ends by id, each with its slot 2 * e + side.
  std::vector<std::pair<vertex_t, std::size_t>> ends;
  ends.reserve(dense_end.size());
  for (std::size_t e = 0; e < edges.size(); ++e) {
    ends.emplace_back(edges[e].first, 2 * e);
    ends.emplace_back(edges[e].second, 2 * e + 1);
  }
  Ticker tick;
  std::sort(ends.begin(), ends.end(), [&tick](const auto& a, const auto& b) {
    tick();
    return a < b;
  });
  for (const auto& [id, slot] : ends) {
    if (graph.ids.empty() || graph.ids.back() != id) graph.ids.push_back(id);
    dense_end[slot] = checked_index(graph.ids.size() - 1);
  }
  return dense_end;
}

}  // namespace

Graph build_graph(const std::vector<Edge>& edges) {
  Graph graph;
  const std::vector<index_t> dense_end = number_edge_ends(edges, graph);
  const index_t n = checked_index(graph.ids.size());
  Ticker tick;

  // Both directions of every edge, bucketed by tail; then each neighbour list
  // is sorted and its repeats dropped.
  graph.offsets.assign(std::size_t{n} + 1, 0);
  for (std::size_t e = 0; e < edges.size(); ++e) {
    if (dense_end[2 * e] == dense_end[2 * e + 1]) continue;
    ++graph.offsets[dense_end[2 * e] + 1];
    ++graph.offsets[dense_end[2 * e + 1] + 1];
  }
  for (index_t v = 0; v < n; ++v) graph.offsets[v + 1] += graph.offsets[v];
  std::vector<index_t> arcs(graph.offsets[n]);
  {
    std::vector<std::size_t> fill(graph.offsets.begin(), graph.offsets.end() - 1);
    for (std::size_t e = 0; e < edges.size(); ++e) {
      const index_t a = dense_end[2 * e];
      const index_t b = dense_end[2 * e + 1];
      if (a == b) continue;
      arcs[fill[a]++] = b;
      arcs[fill[b]++] = a;
    }
  }
  graph.neighbours.reserve(arcs.size());
  for (index_t v = 0; v < n; ++v) {
    const auto first = arcs.begin() + static_cast<std::ptrdiff_t>(graph.offsets[v]);
    const auto last = arcs.begin() + static_cast<std::ptrdiff_t>(graph.offsets[v + 1]);
    tick(static_cast<std::size_t>(last - first) * 8 + 1);
    std::sort(first, last);
    graph.offsets[v] = graph.neighbours.size();
    graph.neighbours.insert(graph.neighbours.end(), first, std::unique(first, last));
  }
  graph.offsets[n] = graph.neighbours.size();
  return graph;
}

// ---- Dsu ----

void Dsu::make_set(index_t id, const Clique& clique) {
  if (id == unregistered || is_registered(id)) return;
  if (id >= parent_.size()) {
    const std::size_t count = std::size_t{id} + 1;
    parent_.resize(count, unregistered);
    member_count_.resize(count, 0);
    next_member_.resize(count, unregistered);
    last_member_.resize(count, unregistered);
    slot_.resize(count, unregistered);
  }
  parent_[id] = id;
  member_count_[id] = 1;
  next_member_[id] = unregistered;
  last_member_[id] = id;
  slot_[id] = checked_index(clique_vertices_.size());
  const std::size_t start = clique_vertices_.items.size();
  clique_vertices_.items.insert(clique_vertices_.items.end(), clique.begin(), clique.end());
  const auto first = clique_vertices_.items.begin() + static_cast<std::ptrdiff_t>(start);
  std::sort(first, clique_vertices_.items.end());
  clique_vertices_.items.erase(std::unique(first, clique_vertices_.items.end()), clique_vertices_.items.end());
  clique_vertices_.close_group();
}

std::optional<index_t> Dsu::find(index_t x) {
  if (!is_registered(x)) return std::nullopt;
  index_t root = x;
  while (parent_[root] != root) root = parent_[root];
  // Full path compression: every id on the way now points at the root.
  while (parent_[x] != root) {
    const index_t next = parent_[x];
    parent_[x] = root;
    x = next;
  }
  return root;
}

void Dsu::unite(index_t a, index_t b) {
  const std::optional<index_t> root_a = find(a);
  const std::optional<index_t> root_b = find(b);
  if (!root_a || !root_b || *root_a == *root_b) return;
  index_t winner = *root_a;
  index_t loser = *root_b;
  if (member_count_[winner] < member_count_[loser]) std::swap(winner, loser);
  parent_[loser] = winner;
  member_count_[winner] += member_count_[loser];
  next_member_[last_member_[winner]] = loser;
  last_member_[winner] = last_member_[loser];
}

std::optional<index_t> Dsu::parent(index_t id) const {
  if (!is_registered(id)) return std::nullopt;
  return parent_[id];
}

std::vector<index_t> Dsu::roots() const {
  std::vector<index_t> result;
  for (index_t id = 0; id < parent_.size(); ++id) {
    if (parent_[id] == id) result.push_back(id);
  }
  return result;
}

Clique Dsu::vertices(index_t root) const {
  Clique result;
  if (!is_root(root)) return result;
  for (index_t id = root; id != unregistered; id = next_member_[id]) {
    result.insert(result.end(), clique_vertices_.begin(slot_[id]), clique_vertices_.end(slot_[id]));
  }
  std::sort(result.begin(), result.end());
  result.erase(std::unique(result.begin(), result.end()), result.end());
  return result;
}

std::vector<index_t> Dsu::members(index_t root) const {
  std::vector<index_t> result;
  if (!is_root(root)) return result;
  for (index_t id = root; id != unregistered; id = next_member_[id]) result.push_back(id);
  std::sort(result.begin(), result.end());
  return result;
}

// ---- CliqueManager ----

std::uint64_t CliqueManager::hash_of(const vertex_t* begin, const vertex_t* end) {
  std::uint64_t h = 0x2545f4914f6cdd1dULL;
  for (const vertex_t* p = begin; p != end; ++p) h = scramble(h + *p);
  return h;
}

void CliqueManager::add_clique(const vertex_t* begin, const vertex_t* end) {
  // The candidate is written straight into the flat store and taken back out if
  // it turns out to be a duplicate, so registering allocates nothing per clique.
  std::vector<vertex_t>& items = cliques_.items;
  const std::size_t start = items.size();
  items.insert(items.end(), begin, end);
  const auto first = items.begin() + static_cast<std::ptrdiff_t>(start);
  std::sort(first, items.end());
  items.erase(std::unique(first, items.end()), items.end());
  const vertex_t* clique_begin = items.data() + start;
  const vertex_t* clique_end = items.data() + items.size();
  const std::size_t size = items.size() - start;

  const std::uint64_t hash = hash_of(clique_begin, clique_end);
  const auto equal = [&](index_t other) {
    return std::equal(clique_begin, clique_end, cliques_.begin(other), cliques_.end(other));
  };
  if (index_.find(hash, equal) != HashIndex::none) {
    items.resize(start);
    return;
  }
  const index_t id = checked_index(cliques_.size());
  index_.insert(hash, id);
  cliques_.close_group();
  if (ids_by_size_.size() <= size) ids_by_size_.resize(size + 1);
  ids_by_size_[size].push_back(id);
}

const std::vector<index_t>& CliqueManager::cliques_by_size(std::size_t size) const {
  static const std::vector<index_t> none;
  return size < ids_by_size_.size() ? ids_by_size_[size] : none;
}

std::optional<index_t> CliqueManager::clique_id(const vertex_t* begin, const vertex_t* end) const {
  const index_t id = index_.find(hash_of(begin, end), [&](index_t other) {
    return std::equal(begin, end, cliques_.begin(other), cliques_.end(other));
  });
  if (id == HashIndex::none) return std::nullopt;
  return id;
}

// ---- subcliques ----

Groups<vertex_t> get_subcliques(const Clique& clique, std::size_t size) {
  std::vector<vertex_t> elements(clique);
  std::sort(elements.begin(), elements.end());
  elements.erase(std::unique(elements.begin(), elements.end()), elements.end());
  Groups<vertex_t> result;
  if (size == 0 || size > elements.size()) return result;
  std::vector<vertex_t> current;
  current.reserve(size);
  combinations_recursive(elements, size, 0, current, result);
  return result;
}

void combinations_recursive(const std::vector<vertex_t>& elements, std::size_t size, std::size_t start,
                            std::vector<vertex_t>& current, Groups<vertex_t>& result) {
  if (current.size() >= size) {
    if (current.size() == size) {
      result.items.insert(result.items.end(), current.begin(), current.end());
      result.close_group();
    }
    return;
  }
  const std::size_t needed = size - current.size();
  // Stop where fewer elements remain than are still needed.
  for (std::size_t j = start; j < elements.size() && elements.size() - j >= needed; ++j) {
    current.push_back(elements[j]);
    combinations_recursive(elements, size, j + 1, current, result);
    current.pop_back();
  }
}

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

namespace {

// A component is the union of the vertices of its facets.
Groups<vertex_t> components_from_classes(const Graph& graph, const Groups<index_t>& facets,
                                         const Groups<index_t>& classes, Ticker& tick) {
  std::vector<unsigned char> seen(graph.vertex_count(), 0);
  Groups<index_t> dense;
  for (std::size_t c = 0; c < classes.size(); ++c) {
    const std::size_t start = dense.items.size();
    for (const index_t* f = classes.begin(c); f != classes.end(c); ++f) {
      tick(facets.length(*f));
      for (const index_t* v = facets.begin(*f); v != facets.end(*f); ++v) {
        if (seen[*v] == 0) {
          seen[*v] = 1;
          dense.items.push_back(*v);
        }
      }
    }
    const auto first = dense.items.begin() + static_cast<std::ptrdiff_t>(start);
    for (auto v = first; v != dense.items.end(); ++v) seen[*v] = 0;
    std::sort(first, dense.items.end());
    dense.close_group();
  }
  Groups<vertex_t> level;
  append_sorted_as_caller_ids(graph, dense, level);
  return level;
}

// Every distinct `size`-vertex subset of the facets holding at least that many
// vertices: the cliques of exactly `size` vertices, each once. The subsets of a
// facet are walked in place, in lexicographic order of positions, instead of
// being listed first, so they cost no memory beyond the registry and the walk
// can be interrupted between any two of them.
Groups<vertex_t> cliques_of_size(const Graph& graph, const Groups<index_t>& facets, std::size_t size, Ticker& tick) {
  CliqueManager manager;
  std::vector<std::size_t> positions(size);
  Clique subset(size);
  for (std::size_t f = 0; f < facets.size(); ++f) {
    const std::size_t k = facets.length(f);
    if (k < size) continue;
    const index_t* facet = facets.begin(f);
    for (std::size_t i = 0; i < size; ++i) positions[i] = i;
    while (true) {
      for (std::size_t i = 0; i < size; ++i) subset[i] = graph.ids[facet[positions[i]]];
      manager.add_clique(subset);
      tick(size);
      // Advance the rightmost position that can still move, then pack the rest after it.
      std::size_t i = size;
      while (i > 0 && positions[i - 1] == k - size + (i - 1)) --i;
      if (i == 0) break;
      ++positions[i - 1];
      for (std::size_t j = i; j < size; ++j) positions[j] = positions[j - 1] + 1;
    }
  }
  // Caller ids order like dense ids, so sorting the registered cliques gives the
  // same order as sorting their dense lists.
  const Groups<vertex_t>& cliques = manager.cliques();
  std::vector<index_t> order(manager.cliques_by_size(size));
  std::sort(order.begin(), order.end(), [&cliques](index_t a, index_t b) {
    return std::lexicographical_compare(cliques.begin(a), cliques.end(a), cliques.begin(b), cliques.end(b));
  });
  Groups<vertex_t> level;
  level.items.reserve(cliques.items.size());
  for (const index_t id : order) {
    level.items.insert(level.items.end(), cliques.begin(id), cliques.end(id));
    level.close_group();
  }
  return level;
}

}  // namespace

// With S the size cap, omega the largest clique size and L = min(S, omega):
// at level q <= S-2 two (q+1)-cliques are joined exactly when they are linked
// through facets (maximal cliques) with >= q+1 vertices that pairwise share
// >= q+1 vertices, since all (q+1)-subsets of one facet are chained by its
// (q+2)-subsets. So those levels are the facet q-components. When S >= omega the
// top level follows the same rule; when S < omega it is every S-clique alone.
// Under a cap that binds, the levels may instead come from the cliques of at
// most S vertices, whichever enumeration choose_clique_route finds cheaper.
std::vector<Groups<vertex_t>> find_all_q_connected_components(const Graph& graph,
                                                              std::optional<std::uint64_t> max_q) {
  std::vector<Groups<vertex_t>> levels;
  const std::size_t n = graph.vertex_count();
  if (n == 0) return levels;
  const std::uint64_t size_cap = max_q ? std::max<std::uint64_t>(*max_q, 1) : n;

  Ticker tick;
  CliqueRoute route = choose_clique_route(graph, size_cap, tick);
  if (route.small_cliques) return levels_from_small_cliques(*route.small_cliques, tick);
  const Groups<index_t>& facets = route.facets;
  std::size_t largest = 0;
  for (std::size_t f = 0; f < facets.size(); ++f) largest = std::max(largest, facets.length(f));

  const bool capped_top = size_cap < largest;
  const std::size_t level_count = capped_top ? static_cast<std::size_t>(size_cap) : largest;
  const std::size_t facet_levels = capped_top ? level_count - 1 : level_count;
  const std::vector<Groups<index_t>> classes = overlaps_are_cheap_to_count(facets, checked_index(n))
                                                   ? q_components_by_level(facets, checked_index(n), facet_levels)
                                                   : facet_components_by_level(graph, facets, facet_levels);
  levels.reserve(level_count);
  for (const Groups<index_t>& level : classes) levels.push_back(components_from_classes(graph, facets, level, tick));
  if (capped_top) levels.push_back(cliques_of_size(graph, facets, level_count, tick));
  return levels;
}

}  // namespace korvane
