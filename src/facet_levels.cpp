#include "facet_levels.hpp"

#include <algorithm>
#include <iterator>
#include <numeric>
#include <stdexcept>

#include "hash_index.hpp"
#include "maximal_cliques.hpp"
#include "q_levels.hpp"
#include "union_find.hpp"

namespace korvane {

namespace {

using word_t = std::uint64_t;
constexpr index_t none = static_cast<index_t>(-1);

struct FacetPair {
  index_t a;
  index_t b;
};

// Joins found above level 0, bucketed by the level they were found at (pairs
// sharing at least level+1 vertices); the assembly applies each bucket at its
// level and, through the one union-find, at every level below.
class LevelJoins {
 public:
  explicit LevelJoins(std::size_t level_count) : by_level_(level_count) {}

  std::size_t level_count() const { return by_level_.size(); }
  // Level 0 is left to the assembly; levels past the top count as the top.
  void join(index_t a, index_t b, std::size_t level) {
    level = std::min(level, by_level_.size() - 1);
    if (level > 0) by_level_[level].push_back({a, b});
  }
  // Hands over the pairs of `level`, leaving none behind.
  std::vector<FacetPair> take(std::size_t level) { return std::move(by_level_[level]); }

 private:
  std::vector<std::vector<FacetPair>> by_level_;
};

// The facets with at least 3 vertices, and their vertices, grouped into
// blocks: the components of the graph those facets span. Two facets sharing
// two vertices lie in one block, so every join above level 0 stays inside a
// block. Vertices and facets are ascending within a block.
struct Blocks {
  Groups<index_t> vertices;
  Groups<index_t> facets;
};

Blocks blocks_of(const Groups<index_t>& facets, index_t vertex_count, Ticker& tick) {
  UnionFind spanned(vertex_count);
  std::vector<unsigned char> covered(vertex_count, 0);
  for (std::size_t f = 0; f < facets.size(); ++f) {
    if (facets.length(f) < 3) continue;
    const index_t* first = facets.begin(f);
    for (const index_t* v = first; v != facets.end(f); ++v) {
      spanned.unite(*first, *v);
      covered[*v] = 1;
    }
    tick(facets.length(f));
  }
  // Blocks numbered in order of their smallest vertex.
  std::vector<index_t> block_of(vertex_count, none);
  std::vector<index_t> numbered(vertex_count, none);
  index_t block_count = 0;
  for (index_t v = 0; v < vertex_count; ++v) {
    if (covered[v] == 0) continue;
    const index_t root = spanned.find(v);
    if (numbered[root] == none) numbered[root] = block_count++;
    block_of[v] = numbered[root];
  }
  const auto bucket = [&](Groups<index_t>& groups, std::size_t count, auto&& block_of_item) {
    groups.starts.assign(std::size_t{block_count} + 1, 0);
    for (std::size_t i = 0; i < count; ++i)
      if (block_of_item(i) != none) ++groups.starts[block_of_item(i) + 1];
    std::partial_sum(groups.starts.begin(), groups.starts.end(), groups.starts.begin());
    groups.items.resize(groups.starts.back());
    std::vector<std::size_t> fill(groups.starts.begin(), groups.starts.end() - 1);
    for (std::size_t i = 0; i < count; ++i)
      if (block_of_item(i) != none) groups.items[fill[block_of_item(i)]++] = static_cast<index_t>(i);
  };
  Blocks blocks;
  bucket(blocks.vertices, vertex_count, [&](std::size_t v) { return block_of[v]; });
  bucket(blocks.facets, facets.size(),
         [&](std::size_t f) { return facets.length(f) < 3 ? none : block_of[*facets.begin(f)]; });
  return blocks;
}

std::uint64_t hash_of_bits(const word_t* bits, std::size_t words) {
  std::uint64_t h = 0x6a09e667f3bcc909ULL;
  for (std::size_t k = 0; k < words; ++k) h = scramble(h + bits[k]);
  return h;
}

// Joins the facets of one block through its adjacency, held as bitset rows
// over local ids (the block's vertices, by descending degree).
//
// For a facet F and a vertex x outside it, T = N(x) & F is a clique, and so is
// T + x; let G_x be any facet holding T + x (found by adding the lowest common
// neighbour while there is one). G_x lies inside N(x) + x, so F & G_x = T.
// Joining F and G_x at level |T|-1 is therefore sound; it is enough to do so
// for the x with |T| >= 2 that are adjacent to every vertex of F below x.
// Take facets F != G sharing s >= 2 vertices, both as ascending lists, and the
// first position where they differ; name them so that G has the smaller vertex
// x there. Then x is not in F, the vertices of F below x are those of G below x
// (so x is adjacent to them), and T holds F & G: F joins G_x at level >= s-1.
// G_x & G holds (F & G) + x, s+1 vertices, so by induction on s from the top
// G_x and G are joined at level >= s. Putting high degrees first leaves few
// vertices below most facets, and so few x to try.
//
// The work runs one x at a time, so that G_x is looked up among the facets
// holding x only, in a table small enough to stay in cache.
class AdjacencyJoiner {
 public:
  AdjacencyJoiner(const Graph& graph, const Groups<index_t>& facets, std::vector<index_t>& local_of, Ticker& tick)
      : graph_(graph), facets_(facets), local_of_(local_of), tick_(tick) {}

  void join_block(const index_t* vertices, std::size_t vertex_count, const index_t* block_facets,
                  std::size_t facet_count, LevelJoins& joins) {
    block_facets_ = block_facets;
    load_rows(vertices, vertex_count);
    load_facets(block_facets, facet_count, vertex_count);
    std::vector<word_t> below(words_, 0), clique(words_), common(words_);
    for (std::size_t x = 0; x < vertex_count; ++x) {
      index_holders(x);
      const word_t* row_x = row(x);
      const std::size_t x_word = x / 64;
      const word_t x_bit = word_t{1} << (x % 64);
      for (std::size_t i = 0; i < facet_count; ++i) {
        const word_t* facet = facet_bits(i);
        if ((facet[x_word] & x_bit) != 0) continue;
        bool adjacent_below = true;
        std::size_t shared = 0;
        for (std::size_t k = 0; k < words_; ++k) {
          adjacent_below = adjacent_below && (facet[k] & below[k] & ~row_x[k]) == 0;
          clique[k] = facet[k] & row_x[k];
          shared += clique[k] != 0;
        }
        if (!adjacent_below || shared == 0) continue;
        shared = 0;
        for (std::size_t k = 0; k < words_; ++k) shared += popcount64(clique[k]);
        if (shared < 2) continue;
        joins.join(block_facets[i], facet_extending(clique.data(), common.data(), row_x, x), shared - 1);
      }
      below[x_word] |= x_bit;
      tick_(facet_count * (words_ + 1) + holders_.length(x));
    }
    for (std::size_t l = 0; l < vertex_count; ++l) local_of_[order_[l]] = none;
  }

 private:
  const word_t* row(std::size_t l) const { return rows_.data() + l * words_; }
  const word_t* facet_bits(std::size_t i) const { return facet_bits_.data() + i * words_; }
  void intersect(word_t* bits, const word_t* other) const {
    for (std::size_t k = 0; k < words_; ++k) bits[k] &= other[k];
  }

  void load_rows(const index_t* vertices, std::size_t vertex_count) {
    words_ = (vertex_count + 63) / 64;
    order_.assign(vertices, vertices + vertex_count);
    std::stable_sort(order_.begin(), order_.end(),
                     [&](index_t a, index_t b) { return graph_.degree(a) > graph_.degree(b); });
    for (std::size_t l = 0; l < vertex_count; ++l) local_of_[order_[l]] = static_cast<index_t>(l);
    rows_.assign(vertex_count * words_, 0);
    for (std::size_t l = 0; l < vertex_count; ++l) {
      word_t* bits = rows_.data() + l * words_;
      for (const index_t* u = graph_.neighbours_begin(order_[l]); u != graph_.neighbours_end(order_[l]); ++u) {
        const index_t local = local_of_[*u];
        if (local != none) bits[local / 64] |= word_t{1} << (local % 64);
      }
      tick_(graph_.degree(order_[l]) + 1);
    }
  }

  // One bitset per facet of the block (by position in the block), and for each
  // local vertex the positions of the facets holding it.
  void load_facets(const index_t* block_facets, std::size_t facet_count, std::size_t vertex_count) {
    facet_bits_.assign(facet_count * words_, 0);
    holders_.starts.assign(vertex_count + 1, 0);
    for (std::size_t i = 0; i < facet_count; ++i) {
      word_t* bits = facet_bits_.data() + i * words_;
      for (const index_t* v = facets_.begin(block_facets[i]); v != facets_.end(block_facets[i]); ++v) {
        const index_t local = local_of_[*v];
        bits[local / 64] |= word_t{1} << (local % 64);
        ++holders_.starts[local + 1];
      }
    }
    std::partial_sum(holders_.starts.begin(), holders_.starts.end(), holders_.starts.begin());
    holders_.items.resize(holders_.starts.back());
    std::vector<std::size_t> fill(holders_.starts.begin(), holders_.starts.end() - 1);
    for (std::size_t i = 0; i < facet_count; ++i)
      for (const index_t* v = facets_.begin(block_facets[i]); v != facets_.end(block_facets[i]); ++v)
        holders_.items[fill[local_of_[*v]]++] = static_cast<index_t>(i);
    tick_(facet_count + 2 * holders_.items.size());
  }

  // The facets holding x, by the hash of their bitsets. The facet looked up is
  // always one of them, so while their hashes are distinct a hash settles it.
  void index_holders(std::size_t x) {
    holder_index_ = HashIndex();
    holder_index_.reserve(holders_.length(x));
    hashes_collide_ = false;
    for (const index_t* h = holders_.begin(x); h != holders_.end(x); ++h) {
      const std::uint64_t hash = hash_of_bits(facet_bits(*h), words_);
      hashes_collide_ = hashes_collide_ || holder_index_.find(hash, [](index_t) { return true; }) != none;
      holder_index_.insert(hash, block_facets_[*h]);
    }
  }

  // The id of a facet holding T + x, for T = `clique`, which becomes that
  // facet's bitset; `common` is scratch.
  index_t facet_extending(word_t* clique, word_t* common, const word_t* row_x, std::size_t x) const {
    std::copy(row_x, row_x + words_, common);
    for (std::size_t k = 0; k < words_; ++k)
      for (word_t w = clique[k]; w != 0; w &= w - 1) intersect(common, row(64 * k + lowest_bit(w)));
    clique[x / 64] |= word_t{1} << (x % 64);
    for (std::size_t k = 0; k < words_; ++k) {
      while (common[k] != 0) {
        const std::size_t c = 64 * k + lowest_bit(common[k]);
        clique[k] |= word_t{1} << (c % 64);
        intersect(common, row(c));
      }
    }
    const std::size_t size = hashes_collide_ ? size_of(clique) : 0;
    const index_t found = holder_index_.find(hash_of_bits(clique, words_), [&](index_t f) {
      return !hashes_collide_ ||
             (facets_.length(f) == size && std::all_of(facets_.begin(f), facets_.end(f), [&](index_t v) {
                return (clique[local_of_[v] / 64] >> (local_of_[v] % 64) & 1) != 0;
              }));
    });
    if (found == none) throw std::logic_error("a maximal clique is missing from the facets");
    return found;
  }

  std::size_t size_of(const word_t* bits) const {
    std::size_t size = 0;
    for (std::size_t k = 0; k < words_; ++k) size += popcount64(bits[k]);
    return size;
  }

  const Graph& graph_;
  const Groups<index_t>& facets_;
  std::vector<index_t>& local_of_;  // global id -> local id in the current block, or none
  Ticker& tick_;
  std::size_t words_ = 0;
  std::vector<index_t> order_;  // local id -> global id
  std::vector<word_t> rows_;
  std::vector<word_t> facet_bits_;
  Groups<index_t> holders_;
  const index_t* block_facets_ = nullptr;
  HashIndex holder_index_;  // ids of the facets holding the current x, by the hash of their bitsets
  bool hashes_collide_ = false;
};

// Joins the facets of one block by counting overlaps, through the generic engine
// run on the block alone with local vertex ids.
void join_by_overlap_counts(const Groups<index_t>& facets, const index_t* block_facets, std::size_t facet_count,
                            const std::vector<index_t>& local_of, index_t vertex_count, LevelJoins& joins) {
  Groups<index_t> local;
  for (std::size_t i = 0; i < facet_count; ++i) {
    for (const index_t* v = facets.begin(block_facets[i]); v != facets.end(block_facets[i]); ++v)
      local.items.push_back(local_of[*v]);
    local.close_group();
  }
  const std::vector<Groups<index_t>> classes = q_components_by_level(local, vertex_count, joins.level_count());
  for (std::size_t q = 1; q < classes.size(); ++q) {
    for (std::size_t c = 0; c < classes[q].size(); ++c)
      for (const index_t* s = classes[q].begin(c) + 1; s < classes[q].end(c); ++s)
        joins.join(block_facets[*classes[q].begin(c)], block_facets[*s], q);
  }
}

// Sum over vertices of d(v)^2, d(v) = sets holding v.
std::uint64_t overlap_count_cost(const Groups<index_t>& sets, const index_t* set_ids, std::size_t set_count,
                                 std::vector<index_t>& holding) {
  std::uint64_t cost = 0;
  for (std::size_t i = 0; i < set_count; ++i)
    for (const index_t* v = sets.begin(set_ids[i]); v != sets.end(set_ids[i]); ++v) cost += 2 * holding[*v]++ + 1;
  for (std::size_t i = 0; i < set_count; ++i)
    for (const index_t* v = sets.begin(set_ids[i]); v != sets.end(set_ids[i]); ++v) holding[*v] = 0;
  return cost;
}

// The adjacency route costs about (words + 1) per facet and block vertex and
// keeps one bitset row per block vertex; take it when that is cheaper than the
// overlap counts and the rows stay small next to the facets.
bool prefers_adjacency(std::size_t vertex_count, std::size_t facet_count, std::size_t facet_items,
                       std::uint64_t overlap_cost) {
  const std::uint64_t words = (vertex_count + 63) / 64;
  const std::uint64_t row_words = vertex_count * words;
  return row_words <= 4 * facet_items + (1 << 16) && facet_count * vertex_count * (words + 1) < overlap_cost;
}

// Levels from the top down with one union-find over facet ids: each level takes
// in its newly present facets and the joins recorded at that level, so it only
// merges the classes of the level above. Level 0 joins facets sharing a vertex.
std::vector<Groups<index_t>> assemble_levels(const Groups<index_t>& facets, index_t vertex_count, LevelJoins& joins,
                                             Ticker& tick) {
  const std::size_t level_count = joins.level_count();
  const index_t n = checked_index(facets.size());
  std::vector<Groups<index_t>> levels(level_count);
  std::vector<std::vector<index_t>> arriving(level_count);
  for (index_t f = 0; f < n; ++f)
    if (facets.length(f) > 0) arriving[std::min(facets.length(f), level_count) - 1].push_back(f);

  UnionFind classes(n);
  std::vector<index_t> present, merged, root_of;
  std::vector<std::size_t> class_of(n), last_level(n, level_count);
  for (std::size_t q = level_count; q-- > 0;) {
    merged.clear();
    std::merge(present.begin(), present.end(), arriving[q].begin(), arriving[q].end(), std::back_inserter(merged));
    present.swap(merged);
    std::vector<index_t>().swap(arriving[q]);

    if (q == 0) {
      std::vector<index_t> first_holder(vertex_count, none);
      for (index_t f = 0; f < n; ++f) {
        for (const index_t* v = facets.begin(f); v != facets.end(f); ++v) {
          if (first_holder[*v] == none) first_holder[*v] = f;
          else classes.unite(first_holder[*v], f);
        }
      }
    } else {
      for (const FacetPair& pair : joins.take(q)) classes.unite(pair.a, pair.b);
    }
    tick(present.size());

    // Number the classes in order of their smallest facet, then place each facet.
    Groups<index_t>& level = levels[q];
    root_of.resize(present.size());
    for (std::size_t k = 0; k < present.size(); ++k) {
      const index_t root = root_of[k] = classes.find(present[k]);
      if (last_level[root] != q) {
        last_level[root] = q;
        class_of[root] = level.size();
        level.starts.push_back(0);
      }
      ++level.starts[class_of[root] + 1];
    }
    std::partial_sum(level.starts.begin(), level.starts.end(), level.starts.begin());
    level.items.resize(present.size());
    std::vector<std::size_t> fill(level.starts.begin(), level.starts.end() - 1);
    for (std::size_t k = 0; k < present.size(); ++k) level.items[fill[class_of[root_of[k]]]++] = present[k];
  }
  return levels;
}

}  // namespace

bool overlaps_are_cheap_to_count(const Groups<index_t>& facets, index_t vertex_count) {
  std::vector<index_t> holding(vertex_count, 0);
  std::uint64_t cost = 0;
  for (const index_t v : facets.items) cost += 2 * holding[v]++ + 1;
  return cost <= 16 * std::uint64_t{facets.items.size()};
}

std::vector<Groups<index_t>> facet_components_by_level(const Graph& graph, const Groups<index_t>& facets,
                                                       std::size_t level_count) {
  if (level_count == 0) return {};
  Ticker tick;
  const index_t vertex_count = checked_index(graph.vertex_count());
  LevelJoins joins(level_count);
  if (level_count > 1) {
    const Blocks blocks = blocks_of(facets, vertex_count, tick);
    std::vector<index_t> local_of(vertex_count, none);
    std::vector<index_t> holding(vertex_count, 0);
    AdjacencyJoiner joiner(graph, facets, local_of, tick);
    for (std::size_t b = 0; b < blocks.facets.size(); ++b) {
      const index_t* block_facets = blocks.facets.begin(b);
      const std::size_t facet_count = blocks.facets.length(b);
      const index_t* vertices = blocks.vertices.begin(b);
      const std::size_t block_size = blocks.vertices.length(b);
      std::size_t facet_items = 0;
      for (std::size_t i = 0; i < facet_count; ++i) facet_items += facets.length(block_facets[i]);
      const std::uint64_t overlap_cost = overlap_count_cost(facets, block_facets, facet_count, holding);
      if (prefers_adjacency(block_size, facet_count, facet_items, overlap_cost)) {
        joiner.join_block(vertices, block_size, block_facets, facet_count, joins);
      } else {
        for (std::size_t l = 0; l < block_size; ++l) local_of[vertices[l]] = static_cast<index_t>(l);
        join_by_overlap_counts(facets, block_facets, facet_count, local_of, checked_index(block_size), joins);
        for (std::size_t l = 0; l < block_size; ++l) local_of[vertices[l]] = none;
      }
    }
  }
  return assemble_levels(facets, vertex_count, joins, tick);
}

}  // namespace korvane
