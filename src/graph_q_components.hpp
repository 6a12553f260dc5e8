// Graph clique-complex q-connectivity.
#pragma once

#include <optional>
#include <utility>

#include "core.hpp"
#include "hash_index.hpp"

namespace korvane {

using Edge = std::pair<vertex_t, vertex_t>;

// A simple undirected graph on dense ids 0 .. n-1. Dense ids follow the
// ascending order of the caller's ids (ids[i] is the caller's id of vertex i), so
// any order on dense ids is the same order on the caller's ids. Neighbour lists
// are sorted, without repeats and without self-loops.
struct Graph {
  std::vector<vertex_t> ids;
  std::vector<std::size_t> offsets{0};  // n + 1 entries
  std::vector<index_t> neighbours;

  std::size_t vertex_count() const { return ids.size(); }
  const index_t* neighbours_begin(index_t v) const { return neighbours.data() + offsets[v]; }
  const index_t* neighbours_end(index_t v) const { return neighbours.data() + offsets[v + 1]; }
  std::size_t degree(index_t v) const { return offsets[v + 1] - offsets[v]; }
};

// Every edge end becomes a vertex; repeated edges count once; a self-loop adds
// its vertex and no edge.
Graph build_graph(const std::vector<Edge>& edges);

// Levels q = 0 .. L-1 of the graph's clique complex, L being the highest level
// (the largest clique size, capped at max_q, where a cap of 0 counts as 1). Each
// level lists its components as ascending vertex-id lists, in ascending
// lexicographic order. Empty for an empty graph.
std::vector<Groups<vertex_t>> find_all_q_connected_components(const Graph& graph,
                                                              std::optional<std::uint64_t> max_q);

// Writes the (non-empty) groups of `dense` to `out` as caller ids, in ascending
// lexicographic order.
void append_sorted_as_caller_ids(const Graph& graph, const Groups<index_t>& dense, Groups<vertex_t>& out);

// A clique as an ascending list of vertex ids without repeats.
using Clique = std::vector<vertex_t>;

// Union-find over clique ids, each class carrying its member cliques and the
// union of their vertices. Storage is flat, indexed by clique id; an id is
// registered once make_set has seen it. Union is by member count, the first
// argument's root winning ties, and find compresses the whole path.
class Dsu {
 public:
  // Registers `id` with the vertex set `clique`; an id already registered keeps
  // its class and its vertices. The largest index_t marks unregistered slots
  // and cannot be registered.
  void make_set(index_t id, const Clique& clique);

  // The root of the class of `x`, or nothing when `x` is not registered.
  std::optional<index_t> find(index_t x);

  // Merges the classes of `a` and `b`: the root of the class with fewer member
  // cliques is linked under the other. A no-op when either is unregistered.
  // (Named `unite` because `union` is a C++ keyword.)
  void unite(index_t a, index_t b);

  bool is_registered(index_t id) const { return id < parent_.size() && parent_[id] != unregistered; }
  bool is_root(index_t id) const { return is_registered(id) && parent_[id] == id; }
  // The parent link of a registered id (itself for a root).
  std::optional<index_t> parent(index_t id) const;
  // Registered roots, ascending.
  std::vector<index_t> roots() const;

  // Per-class data, read at a root; a non-root has none (empty, 0).
  // The union of the class's clique vertices, ascending.
  Clique vertices(index_t root) const;
  // The class's clique ids, ascending.
  std::vector<index_t> members(index_t root) const;
  std::size_t size(index_t root) const { return is_root(root) ? member_count_[root] : 0; }

 private:
  static constexpr index_t unregistered = static_cast<index_t>(-1);

  std::vector<index_t> parent_;
  std::vector<index_t> member_count_;  // valid at roots
  // Members of a class form a chain from the root through next_member_; the
  // chains of two classes are disjoint, so a union splices them in O(1).
  std::vector<index_t> next_member_;
  std::vector<index_t> last_member_;  // valid at roots
  // The vertices of each registered clique: clique_vertices_ group slot_[id].
  std::vector<index_t> slot_;
  Groups<vertex_t> clique_vertices_;
};

// Registry of distinct cliques: dense ids 0, 1, 2, ... in registration order,
// an index by vertex count, and a hash index on the whole vertex set that
// rejects duplicates. Cliques are stored flat, one group each.
class CliqueManager {
 public:
  // Registers `clique` (taken as a set: order and repeats are ignored) unless
  // an equal clique is already registered.
  void add_clique(const Clique& clique) { add_clique(clique.data(), clique.data() + clique.size()); }
  // The range must not lie inside the manager's own store.
  void add_clique(const vertex_t* begin, const vertex_t* end);

  std::size_t clique_count() const { return cliques_.size(); }
  const Groups<vertex_t>& cliques() const { return cliques_; }
  // Ids of the registered cliques with `size` vertices, ascending; empty if none.
  const std::vector<index_t>& cliques_by_size(std::size_t size) const;
  // The id of the registered clique equal to the ascending range [begin, end).
  std::optional<index_t> clique_id(const vertex_t* begin, const vertex_t* end) const;

 private:
  static std::uint64_t hash_of(const vertex_t* begin, const vertex_t* end);

  Groups<vertex_t> cliques_;
  std::vector<std::vector<index_t>> ids_by_size_;
  HashIndex index_;  // clique ids by the hash of their vertices
};

// Every `size`-vertex subset of `clique` (taken as a set), each once, in
// lexicographic order of the ascending subsets. Empty for size 0 or a size above
// the clique's vertex count.
Groups<vertex_t> get_subcliques(const Clique& clique, std::size_t size);

// Appends to `result` every `size`-element combination of elements[start..]
// extending `current` (used as a stack), in lexicographic order of positions.
void combinations_recursive(const std::vector<vertex_t>& elements, std::size_t size, std::size_t start,
                            std::vector<vertex_t>& current, Groups<vertex_t>& result);

}  // namespace korvane
