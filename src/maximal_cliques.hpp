// Maximal cliques of a graph: Bron-Kerbosch with pivoting, started once per
// vertex of a degeneracy ordering (Eppstein, Loffler and Strash).
#pragma once

#include <algorithm>
#include <cstdint>
#include <type_traits>
#include <utility>
#include <vector>

#if defined(_MSC_VER)
#include <intrin.h>
#endif

#include "graph_q_components.hpp"

namespace korvane {

inline std::size_t popcount64(std::uint64_t w) {
#if defined(_MSC_VER)
  return static_cast<std::size_t>(__popcnt64(w));
#else
  return static_cast<std::size_t>(__builtin_popcountll(w));
#endif
}

inline std::size_t lowest_bit(std::uint64_t w) {  // w != 0
#if defined(_MSC_VER)
  unsigned long i;
  _BitScanForward64(&i, w);
  return i;
#else
  return static_cast<std::size_t>(__builtin_ctzll(w));
#endif
}

// A degeneracy ordering: vertices in the order in which repeatedly removing a
// vertex of least remaining degree takes them (bucket queue, O(n + m)). Every
// vertex then has at most d later neighbours, d being the graph's degeneracy.
inline std::vector<index_t> degeneracy_order(const Graph& graph) {
  const index_t n = checked_index(graph.vertex_count());
  std::vector<index_t> degree(n);
  std::size_t max_degree = 0;
  for (index_t v = 0; v < n; ++v) {
    degree[v] = static_cast<index_t>(graph.degree(v));
    max_degree = std::max<std::size_t>(max_degree, degree[v]);
  }
  // bucket_start[d]: first position of the vertices of remaining degree d in `order`.
  std::vector<index_t> bucket_start(max_degree + 2, 0);
  for (index_t v = 0; v < n; ++v) ++bucket_start[degree[v] + 1];
  for (std::size_t d = 0; d <= max_degree; ++d) bucket_start[d + 1] += bucket_start[d];
  std::vector<index_t> order(n);
  std::vector<index_t> position(n);
  {
    std::vector<index_t> fill(bucket_start.begin(), bucket_start.end() - 1);
    for (index_t v = 0; v < n; ++v) {
      position[v] = fill[degree[v]]++;
      order[position[v]] = v;
    }
  }
  Ticker tick;
  for (index_t i = 0; i < n; ++i) {
    const index_t v = order[i];
    tick(graph.degree(v) + 1);
    for (const index_t* u = graph.neighbours_begin(v); u != graph.neighbours_end(v); ++u) {
      if (degree[*u] <= degree[v]) continue;
      // Move u to the front of its bucket, then shift the bucket boundary past it.
      const index_t d = degree[*u];
      const index_t front = bucket_start[d];
      const index_t w = order[front];
      std::swap(order[front], order[position[*u]]);
      std::swap(position[w], position[*u]);
      ++bucket_start[d];
      --degree[*u];
    }
  }
  return order;
}

// Runs the pivoting search on the neighbourhood of one vertex at a time. The
// buffers live as long as the search, so no clique costs an allocation.
//
// Around a start vertex v the search works on local ids: P0 = later neighbours
// (0 .. p-1), then X0 = earlier neighbours (p .. p+x-1). A vertex of P0 has a
// bitset row over all local ids; a vertex of X0 only needs its row over P0,
// since candidate sets stay inside P0 and only the pivot choice reads X rows.
template <class Sink>
class MaximalCliqueSearch {
 public:
  MaximalCliqueSearch(const Graph& graph, Ticker& tick, Sink& sink)
      : graph_(graph), tick_(tick), sink_(sink), local_of_(graph.vertex_count(), none) {}

  void run() {
    const std::vector<index_t> order = degeneracy_order(graph_);
    std::vector<index_t> rank(order.size());
    for (index_t i = 0; i < order.size(); ++i) rank[order[i]] = i;
    for (const index_t v : order) {
      global_of_.clear();
      for (const index_t* u = graph_.neighbours_begin(v); u != graph_.neighbours_end(v); ++u) {
        if (rank[*u] > rank[v]) global_of_.push_back(*u);
      }
      later_count_ = global_of_.size();
      for (const index_t* u = graph_.neighbours_begin(v); u != graph_.neighbours_end(v); ++u) {
        if (rank[*u] < rank[v]) global_of_.push_back(*u);
      }
      start_ = v;
      search_from_start();
    }
  }

 private:
  using word_t = std::uint64_t;
  static constexpr index_t none = static_cast<index_t>(-1);

  static std::size_t words_for(std::size_t bits) { return (bits + 63) / 64; }
  static void set_bit(word_t* bits, std::size_t i) { bits[i / 64] |= word_t{1} << (i % 64); }
  static void clear_bit(word_t* bits, std::size_t i) { bits[i / 64] &= ~(word_t{1} << (i % 64)); }
  static bool is_empty(const word_t* bits, std::size_t words) {
    return std::all_of(bits, bits + words, [](word_t w) { return w == 0; });
  }
  template <class Visit>
  static void for_each_bit(const word_t* bits, std::size_t words, Visit&& visit) {
    for (std::size_t k = 0; k < words; ++k) {
      for (word_t w = bits[k]; w != 0; w &= w - 1) visit(64 * k + lowest_bit(w));
    }
  }

  // The part of local vertex u's row that covers P0.
  word_t* p_row(std::size_t u) {
    if (u < later_count_) return rows_.data() + u * row_words_;
    return rows_.data() + later_count_ * row_words_ + (u - later_count_) * p_words_;
  }
  const word_t* full_row(std::size_t w) const { return rows_.data() + w * row_words_; }
  word_t* candidates_at(std::size_t depth) { return frames_.data() + depth * frame_words_; }
  word_t* excluded_at(std::size_t depth) { return candidates_at(depth) + p_words_; }
  word_t* branches_at(std::size_t depth) { return excluded_at(depth) + row_words_; }

  void search_from_start() {
    const std::size_t p = later_count_;
    const std::size_t local_count = global_of_.size();
    p_words_ = words_for(p);
    row_words_ = words_for(local_count);
    frame_words_ = 2 * p_words_ + row_words_;
    for (std::size_t l = 0; l < local_count; ++l) local_of_[global_of_[l]] = static_cast<index_t>(l);

    rows_.assign(p * row_words_ + (local_count - p) * p_words_, 0);
    for (std::size_t w = 0; w < p; ++w) {
      const index_t* begin = graph_.neighbours_begin(global_of_[w]);
      const index_t* end = graph_.neighbours_end(global_of_[w]);
      word_t* row = rows_.data() + w * row_words_;
      const auto link = [&](std::size_t l) {
        set_bit(row, l);
        if (l >= p) set_bit(p_row(l), w);
      };
      // Walk the shorter side: the neighbour list, or the local ids probed by binary search.
      if (static_cast<std::size_t>(end - begin) <= 8 * local_count) {
        for (const index_t* u = begin; u != end; ++u) {
          if (local_of_[*u] != none) link(local_of_[*u]);
        }
        tick_(static_cast<std::size_t>(end - begin));
      } else {
        for (std::size_t l = 0; l < local_count; ++l) {
          if (std::binary_search(begin, end, global_of_[l])) link(l);
        }
        tick_(8 * local_count);
      }
    }

    // Depth 0: P = P0, X = X0; the clique so far is {start}.
    frames_.assign((p + 1) * frame_words_, 0);
    for (std::size_t l = 0; l < local_count; ++l) set_bit(l < p ? candidates_at(0) : excluded_at(0), l);
    clique_.clear();
    expand();

    for (const index_t g : global_of_) local_of_[g] = none;
  }

  // The Bron-Kerbosch recursion, run on the explicit frames so that its depth
  // (up to the degeneracy) never touches the call stack. clique_ holds, for
  // each open frame, the branch vertex that led into it.
  void expand() {
    std::size_t depth = 0;
    if (!open_frame(0)) return;
    while (true) {
      std::size_t w = 0;
      if (take_lowest_bit(branches_at(depth), w)) {
        const word_t* row = full_row(w);
        const word_t* candidates = candidates_at(depth);
        const word_t* excluded = excluded_at(depth);
        word_t* next_candidates = candidates_at(depth + 1);
        word_t* next_excluded = excluded_at(depth + 1);
        for (std::size_t k = 0; k < p_words_; ++k) next_candidates[k] = candidates[k] & row[k];
        for (std::size_t k = 0; k < row_words_; ++k) next_excluded[k] = excluded[k] & row[k];
        clique_.push_back(static_cast<index_t>(w));
        if (open_frame(depth + 1)) {
          ++depth;
          continue;
        }
      } else {
        if (depth == 0) return;
        --depth;
      }
      // The branch on clique_.back() at this depth is done: move it from P to X.
      w = clique_.back();
      clique_.pop_back();
      clear_bit(candidates_at(depth), w);
      set_bit(excluded_at(depth), w);
    }
  }

  // Enters the frame at `depth`: reports the clique when P and X are both
  // empty, and otherwise lists the branches. False when there is none.
  bool open_frame(std::size_t depth) {
    const word_t* candidates = candidates_at(depth);
    const word_t* excluded = excluded_at(depth);
    if (is_empty(candidates, p_words_)) {
      if (is_empty(excluded, row_words_)) report();
      return false;
    }
    // Pivot: the vertex of P + X with the most neighbours in P; only P minus its
    // neighbours needs a branch, since any maximal clique holds a non-neighbour of it.
    std::size_t pivot = 0;
    std::size_t best = 0;
    bool found = false;
    const auto consider = [&](std::size_t u) {
      const word_t* row = p_row(u);
      std::size_t count = 0;
      for (std::size_t k = 0; k < p_words_; ++k) count += popcount64(candidates[k] & row[k]);
      if (!found || count > best) {
        pivot = u;
        best = count;
        found = true;
      }
    };
    for_each_bit(candidates, p_words_, consider);
    for_each_bit(excluded, row_words_, consider);
    tick_(frame_words_ + p_words_ * (best + 1));

    word_t* branches = branches_at(depth);
    const word_t* pivot_row = p_row(pivot);
    for (std::size_t k = 0; k < p_words_; ++k) branches[k] = candidates[k] & ~pivot_row[k];
    return true;
  }

  // Removes the lowest set bit of a P-wide bitset into `bit`; false when none is set.
  bool take_lowest_bit(word_t* bits, std::size_t& bit) const {
    for (std::size_t k = 0; k < p_words_; ++k) {
      if (bits[k] != 0) {
        bit = 64 * k + lowest_bit(bits[k]);
        bits[k] &= bits[k] - 1;
        return true;
      }
    }
    return false;
  }

  void report() {
    reported_.clear();
    reported_.push_back(start_);
    for (const index_t l : clique_) reported_.push_back(global_of_[l]);
    std::sort(reported_.begin(), reported_.end());
    sink_(std::as_const(reported_));
  }

  const Graph& graph_;
  Ticker& tick_;
  Sink& sink_;

  std::vector<index_t> local_of_;   // global id -> local id around the start vertex, or none
  std::vector<index_t> global_of_;  // local id -> global id
  std::size_t later_count_ = 0;     // p, the size of P0
  index_t start_ = 0;
  std::size_t p_words_ = 0;
  std::size_t row_words_ = 0;
  std::size_t frame_words_ = 0;
  std::vector<word_t> rows_;
  // One frame per depth: candidates (P, over P0), excluded (X, over all local
  // ids) and the branch list (P minus the pivot's neighbours).
  std::vector<word_t> frames_;
  std::vector<index_t> clique_;  // local ids added below the start vertex
  std::vector<index_t> reported_;
};

// Calls sink(const std::vector<index_t>& clique) once for every maximal clique
// of `graph`, its dense ids ascending; an isolated vertex is a one-vertex clique.
template <class Sink>
void for_each_maximal_clique(const Graph& graph, Ticker& tick, Sink&& sink) {
  MaximalCliqueSearch<std::remove_reference_t<Sink>> search(graph, tick, sink);
  search.run();
}

}  // namespace korvane
