#include "clique_levels.hpp"

#include <algorithm>
#include <numeric>

#include "small_cliques.hpp"
#include "union_find.hpp"

namespace korvane {

namespace {

constexpr index_t none = static_cast<index_t>(-1);

// A clique's key is the sum of its vertices' hashes, so a face's key is the
// clique's key less the hash of the vertex it leaves out.
std::uint64_t vertex_hash(index_t v) { return scramble(v); }

// The distinct cliques of one size, stored flat with a fixed stride, ids
// 0, 1, 2, ... in order of first sight.
class CliqueTable {
 public:
  explicit CliqueTable(std::size_t size) : size_(size) {}

  std::size_t count() const { return items_.size() / size_; }
  const std::vector<index_t>& items() const { return items_; }

  // The id of the ascending clique `vertices` without its entry at `skip`
  // (size + 1 entries), or of `vertices` itself when skip == size; `key` is
  // the sum of the hashes of the vertices kept. Unseen cliques get the next id.
  index_t intern(const index_t* vertices, std::size_t skip, std::uint64_t key) {
    const auto at = [&](std::size_t j) { return vertices[j < skip ? j : j + 1]; };
    const index_t found = index_.find(key, [&](index_t id) {
      const index_t* stored = items_.data() + std::size_t{id} * size_;
      for (std::size_t j = 0; j < size_; ++j) {
        if (stored[j] != at(j)) return false;
      }
      return true;
    });
    if (found != HashIndex::none) return found;
    const index_t id = checked_index(count());
    for (std::size_t j = 0; j < size_; ++j) items_.push_back(at(j));
    index_.insert(key, id);
    return id;
  }

 private:
  std::size_t size_;
  std::vector<index_t> items_;
  HashIndex index_;
};

// Receives every clique of at most `cap` vertices from SmallCliqueSearch. A
// clique of k vertices unites, at level k-2, its parent face with each of its
// other faces; a clique below the cap is interned (its tag is its id, and a
// vertex is its own id); a clique at the cap is only kept for the top level.
class LevelBuilder {
 public:
  LevelBuilder(index_t vertex_count, std::size_t cap) : cap_(cap) {
    for (std::size_t k = 0; k < cap_; ++k) tables_.emplace_back(std::max<std::size_t>(k, 1));
    unions_.resize(cap_ - 1);
    if (cap_ >= 2) unions_[0].grow(vertex_count);
  }

  index_t operator()(const index_t* clique, std::size_t size, index_t added, index_t parent) {
    if (size == 1) return clique[0];
    largest_ = std::max(largest_, size);
    std::uint64_t key = 0;
    for (std::size_t i = 0; i < size; ++i) key += vertex_hash(clique[i]);
    UnionFind& level = unions_[size - 2];
    if (size == 2) {
      level.unite(parent, added);
    } else {
      for (std::size_t i = 0; i < size; ++i) {
        if (clique[i] != added) level.unite(parent, intern(size - 1, clique, i, key - vertex_hash(clique[i])));
      }
    }
    if (size < cap_) return intern(size, clique, size, key);
    top_.insert(top_.end(), clique, clique + size);
    return SmallCliqueSearch::no_tag;
  }

  std::size_t largest() const { return largest_; }
  UnionFind& level(std::size_t q) { return unions_[q]; }
  // The ascending vertices of the cliques of `size` vertices, flat; empty for size 1.
  const std::vector<index_t>& cliques(std::size_t size) const { return size == cap_ ? top_ : tables_[size].items(); }

 private:
  index_t intern(std::size_t size, const index_t* vertices, std::size_t skip, std::uint64_t key) {
    const index_t id = tables_[size].intern(vertices, skip, key);
    unions_[size - 1].grow(id + 1);
    return id;
  }

  std::size_t cap_;
  std::size_t largest_ = 1;
  std::vector<CliqueTable> tables_;  // by size, 2 .. cap-1 used
  std::vector<UnionFind> unions_;    // by level q, over the (q+1)-cliques
  std::vector<index_t> top_;         // the cliques of cap vertices
};

// The components of one level: each class's vertices, classes in ascending
// lexicographic order. Object i has the `size` vertices at cliques[size * i],
// or is vertex i itself when size is 1.
Groups<vertex_t> components_of_level(const Graph& graph, UnionFind& classes, const std::vector<index_t>& cliques,
                                     std::size_t size, Ticker& tick) {
  const index_t count = classes.size();
  // Number the classes in order of first sight and bucket the objects by class.
  std::vector<index_t> number(count, none), class_of(count);
  Groups<index_t> members;
  for (index_t i = 0; i < count; ++i) {
    const index_t root = classes.find(i);
    if (number[root] == none) {
      number[root] = static_cast<index_t>(members.size());
      members.starts.push_back(0);
    }
    class_of[i] = number[root];
    ++members.starts[class_of[i] + 1];
  }
  tick(count);
  std::partial_sum(members.starts.begin(), members.starts.end(), members.starts.begin());
  members.items.resize(count);
  {
    std::vector<std::size_t> fill(members.starts.begin(), members.starts.end() - 1);
    for (index_t i = 0; i < count; ++i) members.items[fill[class_of[i]]++] = i;
  }

  std::vector<unsigned char> seen(graph.vertex_count(), 0);
  Groups<index_t> dense;
  const auto take = [&](index_t v) {
    if (seen[v] == 0) {
      seen[v] = 1;
      dense.items.push_back(v);
    }
  };
  for (std::size_t c = 0; c < members.size(); ++c) {
    const std::size_t start = dense.items.size();
    for (const index_t* i = members.begin(c); i != members.end(c); ++i) {
      if (size == 1) {
        take(*i);
      } else {
        for (std::size_t j = 0; j < size; ++j) take(cliques[size * *i + j]);
      }
    }
    tick(size * members.length(c));
    const auto first = dense.items.begin() + static_cast<std::ptrdiff_t>(start);
    for (auto v = first; v != dense.items.end(); ++v) seen[*v] = 0;
    std::sort(first, dense.items.end());
    dense.close_group();
  }
  Groups<vertex_t> level;
  append_sorted_as_caller_ids(graph, dense, level);
  return level;
}

// Each clique of `size` vertices alone, as caller ids, in ascending
// lexicographic order: a least-significant-position-first counting sort.
Groups<vertex_t> cliques_alone(const Graph& graph, const std::vector<index_t>& cliques, std::size_t size,
                               Ticker& tick) {
  const std::size_t n = graph.vertex_count();
  Groups<vertex_t> level;
  if (size == 1) {
    level.items = graph.ids;
    level.starts.resize(n + 1);
    std::iota(level.starts.begin(), level.starts.end(), std::size_t{0});
    return level;
  }
  const std::size_t count = cliques.size() / size;
  std::vector<index_t> order(count), sorted(count);
  std::iota(order.begin(), order.end(), index_t{0});
  std::vector<std::size_t> start(n + 1);
  for (std::size_t position = size; position-- > 0;) {
    std::fill(start.begin(), start.end(), 0);
    for (std::size_t i = 0; i < count; ++i) ++start[cliques[size * i + position] + 1];
    std::partial_sum(start.begin(), start.end(), start.begin());
    for (const index_t i : order) sorted[start[cliques[size * i + position]]++] = i;
    order.swap(sorted);
    tick(count + n);
  }
  level.items.reserve(cliques.size());
  level.starts.reserve(count + 1);
  for (const index_t i : order) {
    for (std::size_t j = 0; j < size; ++j) level.items.push_back(graph.ids[cliques[size * i + j]]);
    level.close_group();
  }
  return level;
}

}  // namespace

std::vector<Groups<vertex_t>> levels_from_small_cliques(const Graph& graph, std::uint64_t size_cap, Ticker& tick) {
  std::vector<Groups<vertex_t>> levels;
  const std::size_t n = graph.vertex_count();
  if (n == 0) return levels;
  // No clique has more than n vertices, so a larger cap changes nothing.
  const std::size_t cap = static_cast<std::size_t>(std::clamp<std::uint64_t>(size_cap, 1, n));
  LevelBuilder builder(checked_index(n), cap);
  for_each_small_clique(graph, cap, tick, builder);

  const std::size_t top = builder.largest();
  levels.reserve(top);
  for (std::size_t q = 0; q + 1 < top; ++q)
    levels.push_back(components_of_level(graph, builder.level(q), builder.cliques(q + 1), q + 1, tick));
  levels.push_back(cliques_alone(graph, builder.cliques(top), top, tick));
  return levels;
}

}  // namespace korvane
