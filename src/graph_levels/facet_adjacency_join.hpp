// Joining the maximal cliques (facets) of a block through the graph's
// adjacency.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <stdexcept>
#include <vector>

#include "bitsets.hpp"
#include "core.hpp"
#include "graph.hpp"
#include "grow_to_facet.hpp"
#include "hash_index.hpp"
#include "pairs_by_level.hpp"

namespace korvane {

inline std::uint64_t hash_of_bits(const word_t* bits, std::size_t words) {
  return sequence_hash(bits, bits + words, 0x6a09e667f3bcc909ULL);
}

// Positions of the facets holding one vertex, by the hash of their bitsets:
// linear probing over 8-byte slots (high half of the hash, position + 1; 0 is
// empty), at most half full. The slots are kept from one vertex to the next,
// so the table costs no allocation and, at half the size of a general one,
// stays in cache while the lookups of that vertex run.
class HolderTable {
 public:
  void reset(std::size_t count) {
    std::size_t slot_count = 16;
    while (slot_count < 2 * count) slot_count *= 2;
    if (slots_.size() < slot_count) slots_.resize(slot_count);
    std::fill(slots_.begin(), slots_.begin() + static_cast<std::ptrdiff_t>(slot_count), 0);
    mask_ = slot_count - 1;
    tags_collide_ = false;
  }
  // A lookup for an entry passes exactly the slots its insertion passed, so
  // while no insertion passes an equal tag, a matching tag settles a lookup.
  void insert(std::uint64_t hash, index_t position) {
    const std::uint64_t tag = hash >> 32;
    std::size_t i = hash & mask_;
    for (; slots_[i] != 0; i = (i + 1) & mask_) tags_collide_ = tags_collide_ || slots_[i] >> 32 == tag;
    slots_[i] = tag << 32 | (std::uint64_t{position} + 1);
  }
  bool tags_collide() const { return tags_collide_; }
  // The first entry with the tag of `hash` that `match` accepts, or none.
  template <class Match>
  index_t find(std::uint64_t hash, Match&& match) const {
    const std::uint64_t tag = hash >> 32;
    for (std::size_t i = hash & mask_; slots_[i] != 0; i = (i + 1) & mask_) {
      const index_t position = static_cast<index_t>(slots_[i] - 1);
      if (slots_[i] >> 32 == tag && match(position)) return position;
    }
    return none;
  }

 private:
  std::vector<std::uint64_t> slots_;
  std::size_t mask_ = 0;
  bool tags_collide_ = false;
};

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
// The work runs one x at a time: first the facets F and the hashes of their
// G_x, then the lookups among the facets holding x only, in a table small
// enough to stay in cache while the lookups run one after the other.
class AdjacencyJoiner {
 public:
  AdjacencyJoiner(const Graph& graph, const Groups<index_t>& facets, std::vector<index_t>& local_of, Ticker& tick)
      : graph_(graph), facets_(facets), local_of_(local_of), tick_(tick) {}

  void join_block(const index_t* vertices, std::size_t vertex_count, const index_t* block_facets,
                  std::size_t facet_count, PairsByLevel& joins) {
    load_rows(vertices, vertex_count);
    load_facets(block_facets, facet_count, vertex_count);
    // Blocks of up to 128 vertices, the common case, get loops of fixed width.
    const bool fixed = with_fixed_words<2>(words_, [&](auto width) {
      join_each_vertex<decltype(width)::value>(block_facets, facet_count, vertex_count, joins);
    });
    if (!fixed) join_each_vertex<0>(block_facets, facet_count, vertex_count, joins);
    for (std::size_t l = 0; l < vertex_count; ++l) local_of_[order_[l]] = none;
  }

 private:
  // The words per bitset: Words, or words_ when Words is 0.
  template <std::size_t Words>
  std::size_t width() const {
    return Words != 0 ? Words : words_;
  }

  template <std::size_t Words>
  void join_each_vertex(const index_t* block_facets, std::size_t facet_count, std::size_t vertex_count,
                        PairsByLevel& joins) {
    const std::size_t words = width<Words>();
    std::vector<word_t> below(words, 0), clique(words), common(words);
    for (std::size_t x = 0; x < vertex_count; ++x) {
      const word_t* row_x = row(x);
      lookups_.clear();
      const std::size_t x_word = x / 64;
      const word_t x_bit = word_t{1} << (x % 64);
      for (std::size_t i = 0; i < facet_count; ++i) {
        const word_t* facet = facet_bits(i);
        if ((facet[x_word] & x_bit) != 0) continue;
        bool adjacent_below = true;
        std::size_t shared = 0;
        for (std::size_t k = 0; k < words; ++k) {
          adjacent_below = adjacent_below && (facet[k] & below[k] & ~row_x[k]) == 0;
          clique[k] = facet[k] & row_x[k];
          shared += clique[k] != 0;
        }
        if (!adjacent_below || shared == 0) continue;
        shared = 0;
        for (std::size_t k = 0; k < words; ++k) shared += popcount64(clique[k]);
        if (shared < 2) continue;
        extend<Words>(clique.data(), common.data(), row_x, x);
        lookups_.push_back({hash_of_bits(clique.data(), words), static_cast<index_t>(i), static_cast<index_t>(shared)});
      }
      index_holders(x);
      for (const Lookup& lookup : lookups_) {
        const index_t found = holder_table_.find(lookup.hash, [&](index_t h) {
          return !holder_table_.tags_collide() || holds_trace<Words>(facet_bits(h), facet_bits(lookup.facet), row_x);
        });
        if (found == none) throw std::logic_error("a maximal clique is missing from the facets");
        joins.add_shared(lookup.shared, block_facets[lookup.facet], block_facets[found]);
      }
      below[x_word] |= x_bit;
      tick_(facet_count * (words + 1) + holders_.length(x) + 4 * lookups_.size());
    }
  }

  const word_t* row(std::size_t l) const { return rows_.data() + l * words_; }
  const word_t* facet_bits(std::size_t i) const { return facet_bits_.data() + i * words_; }

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
        if (local != none) set_bit(bits, local);
      }
      tick_(graph_.degree(order_[l]) + 1);
    }
  }

  // One bitset and its hash per facet of the block (by position in the block),
  // and for each local vertex the positions of the facets holding it.
  void load_facets(const index_t* block_facets, std::size_t facet_count, std::size_t vertex_count) {
    facet_bits_.assign(facet_count * words_, 0);
    facet_hash_.resize(facet_count);
    holders_.starts.assign(vertex_count + 1, 0);
    for (std::size_t i = 0; i < facet_count; ++i) {
      word_t* bits = facet_bits_.data() + i * words_;
      for (const index_t* v = facets_.begin(block_facets[i]); v != facets_.end(block_facets[i]); ++v) {
        const index_t local = local_of_[*v];
        set_bit(bits, local);
        ++holders_.starts[local + 1];
      }
      facet_hash_[i] = hash_of_bits(bits, words_);
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
  // always one of them; when tags collide, any of them that holds T + x will do.
  void index_holders(std::size_t x) {
    holder_table_.reset(holders_.length(x));
    for (const index_t* h = holders_.begin(x); h != holders_.end(x); ++h) holder_table_.insert(facet_hash_[*h], *h);
  }

  // True when `facet` (holding x) holds T = N(x) & `traced`.
  template <std::size_t Words>
  bool holds_trace(const word_t* facet, const word_t* traced, const word_t* row_x) const {
    for (std::size_t k = 0; k < width<Words>(); ++k)
      if ((traced[k] & row_x[k] & ~facet[k]) != 0) return false;
    return true;
  }

  // Extends T = `clique` + x to a maximal clique, written to `clique`, by
  // adding the lowest common neighbour while there is one; `common` is scratch.
  template <std::size_t Words>
  void extend(word_t* clique, word_t* common, const word_t* row_x, std::size_t x) const {
    const std::size_t words = width<Words>();
    std::copy(row_x, row_x + words, common);
    RowCandidates<Words> candidates(rows_.data(), words_, common);
    for (std::size_t k = 0; k < words; ++k)
      for (word_t w = clique[k]; w != 0; w &= w - 1) candidates.intersect(64 * k + lowest_bit(w));
    set_bit(clique, x);
    for (index_t c; candidates.take(c);) set_bit(clique, c);
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
  std::vector<std::uint64_t> facet_hash_;  // by position in the block
  HolderTable holder_table_;  // positions of the facets holding the current x
  // A facet F of the block (by position), the hash of its G_x for the current
  // x, and |T|, the number of vertices they share.
  struct Lookup {
    std::uint64_t hash;
    index_t facet;
    index_t shared;
  };
  std::vector<Lookup> lookups_;
};

}  // namespace korvane
