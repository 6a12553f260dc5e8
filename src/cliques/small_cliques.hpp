// Cliques of at most a given number of vertices, each met once, from its
// earliest vertex in a degeneracy ordering (Chiba and Nishizeki): the one
// search that lists them (with their parents), counts them, or lists those of
// one size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "bitsets.hpp"
#include "core.hpp"
#include "degeneracy.hpp"
#include "graph.hpp"
#include "local_neighbourhood.hpp"

namespace korvane {

// Around each vertex v of a degeneracy ordering the search walks the cliques
// of v's later neighbours, at most d of them (d the degeneracy), depth first
// over bitset rows. A clique's candidates are the later neighbours adjacent to
// all its members and after its last-added member, so each clique {v} + K is
// reached once, and only from v, its earliest vertex. The cliques of the
// largest size are only counted or listed from the candidate bits of their
// parents, without a frame of their own.
class SmallCliqueSearch {
 public:
  static constexpr index_t no_tag = none;

  // A search to be set on a graph by reset, then reused for others.
  explicit SmallCliqueSearch(Ticker& tick) : tick_(tick) {}
  SmallCliqueSearch(const Graph& graph, std::size_t max_size, Ticker& tick) : tick_(tick) { reset(graph, max_size); }
  // Sets the search on `graph`, which must outlive its use, keeping the buffers.
  void reset(const Graph& graph, std::size_t max_size);

  const Graph& graph() const { return *graph_; }
  std::size_t max_size() const { return max_size_; }
  // The largest number of later neighbours of a vertex: the degeneracy.
  std::size_t degeneracy() const { return order_.degeneracy(); }

  // Edges have dense ids 0 .. edge_count()-1, grouped by their earlier end.
  std::size_t edge_count() const { return order_.later().size(); }
  // The id of the edge {a, b}, which must exist.
  index_t edge_id(index_t a, index_t b) const;
  // The ends of every edge, ascending, two per edge in the order of the ids.
  std::vector<index_t> edge_ends() const;

  // Calls sink(clique, size, added, parent_tag, linked) once for every clique
  // of 1 .. max_size vertices, `clique` pointing at its dense ids ascending.
  // Cliques come grouped by their earliest vertex v, {v} first, and the groups
  // in reverse degeneracy order, so every clique whose earliest vertex comes
  // after v has been reported before {v}. A clique of two or more vertices
  // comes after its parent, the clique without `added`, and `parent_tag` is
  // the index_t the sink returned for that parent (no_tag for one vertex).
  // `linked` tells that `added` is adjacent to the vertex added by an earlier
  // sibling (a clique with the same parent). Then, with R the parent less v,
  // R + added and R + sibling lie in the clique R + added + sibling, which
  // has as many vertices as this one and was reported before {v}.
  template <class Sink>
  void run(Sink&& sink) {
    for (auto start = order_.order().rbegin(); start != order_.order().rend(); ++start) {
      const index_t v = *start;
      members_.assign(1, v);
      const index_t tag = sink(std::as_const(members_).data(), std::size_t{1}, v, no_tag, false);
      if (max_size_ < 2) continue;
      enter_start(v);
      walk(tag, sink);
    }
  }

  // Walks the same cliques, start vertex by start vertex in the order of the
  // vertex ids, and calls counter(size, count) -> bool: with count 1 for each
  // clique of fewer than max_size vertices, as it is reached, and, below each
  // clique of max_size - 1 vertices, with the number of its children, which
  // are counted from the candidate bits, not visited. Stops, returning false,
  // as soon as the counter does.
  template <class Counter>
  bool count(Counter&& counter) {
    return walk_to_last<false>(counter, [&](std::size_t depth) {
      const word_t* candidates = candidates_at(depth);
      std::size_t children = 0;
      for (std::size_t k = first_word_[depth]; k < words_; ++k) children += popcount64(candidates[k]);
      tick_(words_);
      return counter(max_size_, children);
    });
  }

  // Calls sink(clique) once for every clique of max_size >= 2 vertices,
  // `clique` pointing at its dense ids ascending; the smaller cliques are
  // walked through but not reported.
  template <class Sink>
  void for_each_largest(Sink&& sink) {
    const auto walk_on = [](std::size_t, std::size_t) { return true; };
    walk_to_last<true>(walk_on, [&](std::size_t depth) {
      const word_t* candidates = candidates_at(depth);
      for (std::size_t k = first_word_[depth]; k < words_; ++k) {
        for (word_t w = candidates[k]; w != 0; w &= w - 1) {
          const index_t vertex = locals_.global(64 * k + lowest_bit(w));
          push_member(vertex);
          sink(std::as_const(members_).data());
          pop_member(vertex);
        }
      }
      tick_(words_ + max_size_);
      return true;
    });
  }

  // The sum over the cliques of at most max_size vertices of the square of
  // their vertex counts (a clique of k vertices has k faces of k - 1 vertices
  // to look up), or nothing once it exceeds `budget`.
  std::optional<std::uint64_t> weight_within(std::uint64_t budget);
  // An upper bound on that weight from the number p of later neighbours of
  // each vertex: at most C(p, k-1) cliques of k vertices start at it.
  double weight_bound() const;

 private:
  // Sets up the locals around `v` and, when cliques of three or more vertices
  // are wanted, their rows.
  void enter_start(index_t v);
  // Frame `depth`: the candidates left, then all the candidates it opened with.
  word_t* candidates_at(std::size_t depth) { return frames_.data() + 2 * depth * words_; }
  word_t* siblings_at(std::size_t depth) { return candidates_at(depth) + words_; }
  const word_t* row(std::size_t local) const { return rows_.data() + local * words_; }
  // Moves the lowest set bit of frame `depth`, at or after word first_word_[depth], into `bit`.
  bool take_lowest(std::size_t depth, std::size_t& bit);
  // Opens frame depth + 1 for the clique that `bit` just joined: its
  // candidates are those left at `depth` that are adjacent to `bit`. False when none.
  bool open_child(std::size_t depth, std::size_t bit);
  // Whether `bit` is adjacent to a candidate of frame `depth` before it.
  bool linked(std::size_t depth, std::size_t bit) const;
  // members_ stays ascending: a new local is larger than every earlier one, so
  // only the start vertex can lie above it.
  void push_member(index_t vertex);
  void pop_member(index_t vertex);

  // The walk behind count and for_each_largest: depth first below each start
  // vertex, in the order of the vertex ids, through the cliques of fewer than
  // max_size >= 2 vertices, each shown to visit(size, 1); below each clique
  // of max_size - 1 vertices, last(depth) finds its children in frame
  // `depth`. members_ follows the clique when `with_members`. Stops once visit
  // or last returns false.
  template <bool with_members, class Visit, class Last>
  bool walk_to_last(Visit& visit, Last&& last) {
    for (index_t v = 0; v < graph_->vertex_count(); ++v) {
      if (!visit(std::size_t{1}, std::size_t{1})) return false;
      if (max_size_ < 2) continue;
      enter_start(v);
      if (with_members) members_.assign(1, v);
      std::size_t depth = 0;
      while (true) {
        if (depth + 2 == max_size_) {
          if (!last(depth)) return false;
        } else {
          std::size_t bit = 0;
          if (take_lowest(depth, bit)) {
            tick_(words_ + 1);
            if (!visit(depth + 2, std::size_t{1})) return false;
            if (open_child(depth, bit)) {
              if (with_members) {
                push_member(locals_.global(bit));
                chosen_.push_back(static_cast<index_t>(bit));
              }
              ++depth;
            }
            continue;
          }
        }
        if (depth == 0) break;
        --depth;
        if (with_members) {
          pop_member(locals_.global(chosen_.back()));
          chosen_.pop_back();
        }
      }
    }
    return true;
  }

  // Depth first below the start vertex. Frame `depth` holds the candidates of
  // the clique of depth + 1 vertices; chosen_ the locals added so far.
  template <class Sink>
  void walk(index_t start_tag, Sink& sink) {
    tags_[0] = start_tag;
    std::size_t depth = 0;
    while (true) {
      std::size_t bit = 0;
      if (!take_lowest(depth, bit)) {
        if (depth == 0) return;
        --depth;
        pop_member(locals_.global(chosen_.back()));
        chosen_.pop_back();
        continue;
      }
      const index_t vertex = locals_.global(bit);
      push_member(vertex);
      const index_t tag =
          sink(std::as_const(members_).data(), members_.size(), vertex, tags_[depth], linked(depth, bit));
      tick_(words_ + members_.size());
      if (members_.size() < max_size_ && open_child(depth, bit)) {
        chosen_.push_back(static_cast<index_t>(bit));
        tags_[++depth] = tag;
        continue;
      }
      pop_member(vertex);
    }
  }

  const Graph* graph_ = nullptr;
  std::size_t max_size_ = 0;
  Ticker& tick_;
  DegeneracyOrder order_;
  index_t start_ = 0;
  LocalNeighbourhood locals_{0};            // start_'s later neighbours
  std::size_t locals_reach_ = 0;            // the vertex ids locals_ can hold
  std::size_t words_ = 0;                   // words per bitset over the locals
  std::vector<word_t> rows_;                // adjacency among the locals
  std::vector<word_t> frames_;              // two bitsets per depth
  std::vector<std::size_t> first_word_;     // per depth: words before it are empty
  std::vector<index_t> tags_;               // per depth: the sink's tag for the clique of that frame
  std::vector<index_t> chosen_;             // locals added below the start vertex
  std::vector<index_t> members_;            // the current clique, dense ids ascending
};

// Calls sink(clique) once for every clique of `size` vertices of `graph`,
// `clique` pointing at its dense ids ascending (nowhere for size 0: the empty
// clique, once). `search` is reset onto the graph.
template <class Sink>
void for_each_clique_of_size(SmallCliqueSearch& search, const Graph& graph, std::size_t size, Sink&& sink) {
  if (size == 0) {
    sink(static_cast<const index_t*>(nullptr));
  } else if (size == 1) {
    for (index_t v = 0; v < graph.vertex_count(); ++v) sink(&std::as_const(v));
  } else if (graph.neighbours.size() >= size * (size - 1)) {
    // A clique of `size` vertices needs size * (size - 1) / 2 edges, which
    // rules out most small graphs before any ordering; and no clique has more
    // than d + 1 vertices.
    search.reset(graph, size);
    if (size <= search.degeneracy() + 1) search.for_each_largest(sink);
  }
}

}  // namespace korvane
