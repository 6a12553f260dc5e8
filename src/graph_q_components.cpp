#include "graph_q_components.hpp"

#include <algorithm>

#include "maximal_cliques.hpp"
#include "q_levels.hpp"

namespace korvane {

Graph build_graph(const std::vector<Edge>& edges) {
  Graph graph;
  graph.ids.reserve(2 * edges.size());
  for (const Edge& edge : edges) {
    graph.ids.push_back(edge.first);
    graph.ids.push_back(edge.second);
  }
  std::sort(graph.ids.begin(), graph.ids.end());
  graph.ids.erase(std::unique(graph.ids.begin(), graph.ids.end()), graph.ids.end());
  const index_t n = checked_index(graph.ids.size());
  const auto dense = [&graph](vertex_t id) {
    return static_cast<index_t>(std::lower_bound(graph.ids.begin(), graph.ids.end(), id) - graph.ids.begin());
  };

  // Both directions of every edge, packed as (from << 32 | to) so that one sort
  // groups them by tail and orders each neighbour list.
  std::vector<std::uint64_t> arcs;
  arcs.reserve(2 * edges.size());
  for (const Edge& edge : edges) {
    if (edge.first == edge.second) continue;
    const std::uint64_t a = dense(edge.first);
    const std::uint64_t b = dense(edge.second);
    arcs.push_back(a << 32 | b);
    arcs.push_back(b << 32 | a);
  }
  std::sort(arcs.begin(), arcs.end());
  arcs.erase(std::unique(arcs.begin(), arcs.end()), arcs.end());

  graph.offsets.assign(std::size_t{n} + 1, 0);
  graph.neighbours.resize(arcs.size());
  for (std::size_t i = 0; i < arcs.size(); ++i) {
    ++graph.offsets[(arcs[i] >> 32) + 1];
    graph.neighbours[i] = static_cast<index_t>(arcs[i]);
  }
  for (index_t v = 0; v < n; ++v) graph.offsets[v + 1] += graph.offsets[v];
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
  // splitmix64 finaliser folded over the sequence.
  std::uint64_t h = 0x2545f4914f6cdd1dULL;
  for (const vertex_t* p = begin; p != end; ++p) {
    h += *p + 0x9e3779b97f4a7c15ULL;
    h = (h ^ (h >> 30)) * 0xbf58476d1ce4e5b9ULL;
    h = (h ^ (h >> 27)) * 0x94d049bb133111ebULL;
    h ^= h >> 31;
  }
  return h;
}

void CliqueManager::grow_table() {
  table_.assign(table_.empty() ? 16 : 2 * table_.size(), empty_slot);
  const std::size_t mask = table_.size() - 1;
  for (index_t id = 0; id < cliques_.size(); ++id) {
    std::size_t slot = hash_of(cliques_.begin(id), cliques_.end(id)) & mask;
    while (table_[slot] != empty_slot) slot = (slot + 1) & mask;
    table_[slot] = id;
  }
}

void CliqueManager::add_clique(Clique clique) {
  std::sort(clique.begin(), clique.end());
  clique.erase(std::unique(clique.begin(), clique.end()), clique.end());
  // Keep the table at most half full, so probe runs stay short.
  if (2 * (cliques_.size() + 1) > table_.size()) grow_table();
  const std::size_t mask = table_.size() - 1;
  std::size_t slot = hash_of(clique.data(), clique.data() + clique.size()) & mask;
  for (; table_[slot] != empty_slot; slot = (slot + 1) & mask) {
    const index_t other = table_[slot];
    if (std::equal(clique.begin(), clique.end(), cliques_.begin(other), cliques_.end(other))) return;
  }
  const index_t id = checked_index(cliques_.size());
  table_[slot] = id;
  cliques_.items.insert(cliques_.items.end(), clique.begin(), clique.end());
  cliques_.close_group();
  if (ids_by_size_.size() <= clique.size()) ids_by_size_.resize(clique.size() + 1);
  ids_by_size_[clique.size()].push_back(id);
}

const std::vector<index_t>& CliqueManager::cliques_by_size(std::size_t size) const {
  static const std::vector<index_t> none;
  return size < ids_by_size_.size() ? ids_by_size_[size] : none;
}

std::optional<index_t> CliqueManager::clique_id(const vertex_t* begin, const vertex_t* end) const {
  if (table_.empty()) return std::nullopt;
  const std::size_t mask = table_.size() - 1;
  for (std::size_t slot = hash_of(begin, end) & mask; table_[slot] != empty_slot; slot = (slot + 1) & mask) {
    const index_t id = table_[slot];
    if (std::equal(begin, end, cliques_.begin(id), cliques_.end(id))) return id;
  }
  return std::nullopt;
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

std::vector<Groups<vertex_t>> find_all_q_connected_components(const Graph&, std::optional<std::uint64_t>) {
  return {};
}

}  // namespace korvane
