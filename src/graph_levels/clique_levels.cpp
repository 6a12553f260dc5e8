#include "clique_levels.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <utility>

#include "clique_registry.hpp"
#include "dsu.hpp"
#include "graph.hpp"
#include "hash_index.hpp"
#include "level_classes.hpp"

namespace korvane {

namespace {

// The vertices at `vertices` without the one at `skip`, for a registry.
auto without(const index_t* vertices, std::size_t skip) {
  return [vertices, skip](std::size_t j) { return vertices[j < skip ? j : j + 1]; };
}

// Receives every clique of at most `cap` vertices from SmallCliqueSearch. A
// clique K of k vertices unites, at level k-2, its parent face with each of its
// other faces. A vertex is its own id and an edge has the search's edge id;
// a larger clique below the cap is stored, and its tag is its id. At the cap K
// is only kept for the top level.
//
// The cliques of one earliest vertex v come together, after those of every
// later vertex. So the face K - v was stored before, and every clique that
// holds v is new when first seen around v: those are looked up in a small
// index of the cliques stored around v, emptied at the next vertex, which
// keeps most look-ups in cache. The face K - v, the one look-up that misses
// the cache, is skipped when K is linked: by induction over the siblings, K's
// parent is already in the class of the earlier sibling's face R + y, and R + y
// in that of R + added, through the clique R + added + y.
class LevelBuilder {
 public:
  LevelBuilder(const SmallCliqueSearch& search, std::size_t cap)
      : search_(search), cap_(cap), hash_(search.graph().vertex_count()), near_(cap) {
    const index_t n = static_cast<index_t>(hash_.size());
    for (index_t v = 0; v < n; ++v) hash_[v] = scramble(v);
    tables_.resize(cap_);
    unions_.resize(cap_ - 1);
    if (cap_ >= 2) unions_[0].grow(n);
    if (cap_ >= 3) unions_[1].grow(static_cast<index_t>(search.edge_count()));
  }

  index_t operator()(const index_t* clique, std::size_t size, index_t added, index_t parent, bool linked) {
    if (size == 1) {
      leave_start();
      start_ = clique[0];
      return start_;
    }
    largest_ = std::max(largest_, size);
    std::uint64_t key = 0;
    if (size >= 3) {
      for (std::size_t i = 0; i < size; ++i) key += hash_[clique[i]];
    }
    Dsu& level = unions_[size - 2];
    if (size == 2) {
      if (!linked) level.unite(parent, added);
    } else {
      for (std::size_t i = 0; i < size; ++i) {
        if (clique[i] == added || (linked && clique[i] == start_)) continue;
        level.unite(parent, face_id(clique, size, i, key));
      }
    }
    if (size == cap_) {
      top_.insert(top_.end(), clique, clique + size);
      return SmallCliqueSearch::no_tag;
    }
    return size == 2 ? search_.edge_id(start_, added) : near_intern(size, clique, size, key);
  }

  std::size_t largest() const { return largest_; }
  Dsu& level(std::size_t q) { return unions_[q]; }
  // The ascending vertices of the cliques of `size` >= 2 vertices, flat, in
  // the order of their ids; each size can be taken once.
  std::vector<index_t> take_cliques(std::size_t size) {
    if (size == cap_) return std::move(top_);
    return size == 2 ? search_.edge_ends() : tables_[size].take_items();
  }

 private:
  struct NearEntry {
    std::size_t size;
    std::uint64_t key;
    index_t id;
  };

  // The id of the face of the ascending `clique` without its entry at `skip`.
  index_t face_id(const index_t* clique, std::size_t size, std::size_t skip, std::uint64_t key) {
    if (size == 3) return search_.edge_id(clique[skip == 0 ? 1 : 0], clique[skip == 2 ? 1 : 2]);
    const std::uint64_t face_key = key - hash_[clique[skip]];
    if (clique[skip] == start_) return tables_[size - 1].find(face_key, size - 1, without(clique, skip));
    return near_intern(size - 1, clique, skip, face_key);
  }

  // The id of a clique of three or more vertices that holds the current start
  // vertex, stored if new.
  index_t near_intern(std::size_t size, const index_t* vertices, std::size_t skip, std::uint64_t key) {
    CliqueRegistry<index_t>& table = tables_[size];
    index_t id = table.find(near_[size], key, size, without(vertices, skip));
    if (id != none) return id;
    id = table.add(key, size, without(vertices, skip));
    near_[size].insert(key, id);
    near_entries_.push_back({size, key, id});
    unions_[size - 1].grow(id + 1);
    return id;
  }

  void leave_start() {
    for (const NearEntry& entry : near_entries_) near_[entry.size].erase(entry.key, entry.id);
    near_entries_.clear();
  }

  const SmallCliqueSearch& search_;
  std::size_t cap_;
  std::size_t largest_ = 1;
  index_t start_ = 0;
  // A clique's key is the sum of its vertices' hashes, so a face's key is the
  // clique's key less the hash of the vertex it leaves out.
  std::vector<std::uint64_t> hash_;
  std::vector<CliqueRegistry<index_t>> tables_;  // by size, 3 .. cap-1 used
  std::vector<HashIndex> near_;      // by size: the cliques stored around start_
  std::vector<NearEntry> near_entries_;
  std::vector<Dsu> unions_;    // by level q, over the (q+1)-cliques
  std::vector<index_t> top_;         // the cliques of cap vertices
};

// The components of one level. Object i has the `size` vertices at
// cliques[size * i], or is vertex i itself when size is 1.
Groups<index_t> components_of_level(const Graph& graph, Dsu& classes, const std::vector<index_t>& cliques,
                                     std::size_t size, Ticker& tick) {
  const Groups<index_t> members = ClassLister(classes.size()).list_all(classes);
  tick(classes.size());
  return class_vertices(
      graph, members,
      [&](const index_t* i) {
        const index_t* first = size == 1 ? i : cliques.data() + size * *i;
        return std::pair(first, first + size);
      },
      tick);
}

// Each clique of `size` vertices alone, in ascending
// lexicographic order: a counting sort by each position, last position first,
// moving whole cliques so that every pass reads and writes in order.
Groups<index_t> cliques_alone(const Graph& graph, std::vector<index_t> cliques, std::size_t size, Ticker& tick) {
  const std::size_t n = graph.vertex_count();
  Groups<index_t> level;
  if (size == 1) {
    level.items.resize(n);
    std::iota(level.items.begin(), level.items.end(), index_t{0});
    level.starts.resize(n + 1);
    std::iota(level.starts.begin(), level.starts.end(), std::size_t{0});
    return level;
  }
  const std::size_t count = cliques.size() / size;
  std::vector<index_t> sorted(cliques.size());
  std::vector<std::size_t> start(n + 1);
  for (std::size_t position = size; position-- > 0;) {
    std::fill(start.begin(), start.end(), 0);
    for (std::size_t i = 0; i < count; ++i) ++start[cliques[size * i + position] + 1];
    std::partial_sum(start.begin(), start.end(), start.begin());
    for (std::size_t i = 0; i < count; ++i) {
      const index_t* clique = cliques.data() + size * i;
      index_t* to = sorted.data() + size * start[clique[position]]++;
      for (std::size_t j = 0; j < size; ++j) to[j] = clique[j];
    }
    cliques.swap(sorted);
    tick(size * count + n);
  }
  level.items = std::move(cliques);
  level.starts.resize(count + 1);
  for (std::size_t i = 0; i <= count; ++i) level.starts[i] = size * i;
  return level;
}

}  // namespace

std::vector<Groups<index_t>> levels_from_small_cliques(SmallCliqueSearch& search, Ticker& tick) {
  const Graph& graph = search.graph();
  std::vector<Groups<index_t>> levels;
  if (graph.vertex_count() == 0) return levels;
  // No clique has more than d + 1 vertices, so a larger cap changes nothing.
  const std::size_t cap = std::clamp<std::size_t>(search.max_size(), 1, search.degeneracy() + 1);
  LevelBuilder builder(search, cap);
  search.run(builder);

  const std::size_t top = builder.largest();
  levels.reserve(top);
  // Vertices need no list of their own.
  const auto cliques = [&](std::size_t size) { return size == 1 ? std::vector<index_t>() : builder.take_cliques(size); };
  for (std::size_t q = 0; q + 1 < top; ++q)
    levels.push_back(components_of_level(graph, builder.level(q), cliques(q + 1), q + 1, tick));
  levels.push_back(cliques_alone(graph, cliques(top), top, tick));
  return levels;
}

}  // namespace korvane
