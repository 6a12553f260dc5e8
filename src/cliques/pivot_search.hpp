// Bron-Kerbosch with Tomita's pivot over bitset rows: the one search behind
// every listing of maximal cliques, whether its rows cover the neighbourhood
// of a start vertex or a whole small graph.
#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "bitsets.hpp"
#include "core.hpp"

namespace korvane {

// `Rows` lays the adjacency out as bitsets. The candidates P have ids below
// 64 * p_words(), the excluded vertices X ids below 64 * x_words(), with
// x_words() >= p_words(). p_row(u) is u's row over P's ids, for any u of
// P + X; full_row(w), for w that may join P, is its row over X's ids, and
// begins with its row over P. Compile-time word counts unroll the loops.
//
// The buffers live as long as the search, so no clique costs an allocation.
class PivotSearch {
 public:
  // Calls report(path) once for every maximal clique R + path of the
  // subgraph induced by R + P, where R is adjacent to all of P and X, with
  // `candidates` and `excluded` the first P and X. `path` holds the ids that
  // the search added to R, in the order it added them. Only the cliques whose
  // path has at least `least_path` ids are reported, and a branch that cannot
  // reach that many (its path and P together too few) is not entered.
  template <class Rows, class Report>
  void run(const Rows& rows, const word_t* candidates, const word_t* excluded, Ticker& tick, Report&& report,
           std::size_t least_path = 0) {
    least_path_ = least_path;
    const std::size_t p_words = rows.p_words();
    const std::size_t x_words = rows.x_words();
    frame_words_ = 2 * p_words + x_words;
    // A frame per depth, and the depth never exceeds |P| <= 64 * p_words.
    const std::size_t needed = (64 * p_words + 1) * frame_words_;
    if (frames_.size() < needed) frames_.resize(needed);
    std::copy(candidates, candidates + p_words, candidates_at(0));
    std::copy(excluded, excluded + x_words, excluded_at(0, p_words));
    path_.clear();
    expand(rows, tick, report);
  }

 private:
  word_t* candidates_at(std::size_t depth) { return frames_.data() + depth * frame_words_; }
  word_t* excluded_at(std::size_t depth, std::size_t p_words) { return candidates_at(depth) + p_words; }
  word_t* branches_at(std::size_t depth, std::size_t p_words) { return candidates_at(depth + 1) - p_words; }

  // The recursion, run on the explicit frames so that its depth never touches
  // the call stack. path_ holds, for each open frame, the branch vertex that
  // led into it.
  template <class Rows, class Report>
  void expand(const Rows& rows, Ticker& tick, Report& report) {
    const std::size_t p_words = rows.p_words();
    const std::size_t x_words = rows.x_words();
    std::size_t depth = 0;
    if (!open_frame(rows, 0, tick, report)) return;
    while (true) {
      std::size_t w = 0;
      if (take_lowest_bit(branches_at(depth, p_words), p_words, w)) {
        const word_t* row = rows.full_row(w);
        const word_t* candidates = candidates_at(depth);
        const word_t* excluded = excluded_at(depth, p_words);
        word_t* next_candidates = candidates_at(depth + 1);
        word_t* next_excluded = excluded_at(depth + 1, p_words);
        for (std::size_t k = 0; k < p_words; ++k) next_candidates[k] = candidates[k] & row[k];
        for (std::size_t k = 0; k < x_words; ++k) next_excluded[k] = excluded[k] & row[k];
        path_.push_back(static_cast<index_t>(w));
        if (open_frame(rows, depth + 1, tick, report)) {
          ++depth;
          continue;
        }
      } else {
        if (depth == 0) return;
        --depth;
      }
      // The branch on path_.back() at this depth is done: move it from P to X.
      w = path_.back();
      path_.pop_back();
      candidates_at(depth)[w / 64] &= ~(word_t{1} << (w % 64));
      set_bit(excluded_at(depth, p_words), w);
    }
  }

  // Enters the frame at `depth`: reports the clique when P and X are both
  // empty, and otherwise lists the branches. False when there is none, or
  // when the path (`depth` ids) cannot grow to least_path_ ids.
  template <class Rows, class Report>
  bool open_frame(const Rows& rows, std::size_t depth, Ticker& tick, Report& report) {
    const std::size_t p_words = rows.p_words();
    const std::size_t x_words = rows.x_words();
    const word_t* candidates = candidates_at(depth);
    const word_t* excluded = excluded_at(depth, p_words);
    std::size_t p_count = 0;
    for (std::size_t k = 0; k < p_words; ++k) p_count += popcount64(candidates[k]);
    if (depth + p_count < least_path_) return false;
    if (p_count == 0) {
      word_t any_excluded = 0;
      for (std::size_t k = 0; k < x_words; ++k) any_excluded |= excluded[k];
      if (any_excluded == 0) report(std::as_const(path_));
      return false;
    }
    // Pivot: the vertex of P + X with the most neighbours in P, the first one
    // met (P before X, ascending); only P minus its neighbours needs a branch,
    // since any maximal clique holds a non-neighbour of it. No vertex has more
    // than |P| - 1 neighbours in P if it lies in P, or |P| if in X: the scan
    // stops at a count that no vertex after it can beat, which in a P that is
    // one clique is the first vertex.
    word_t any_excluded = 0;
    for (std::size_t k = 0; k < x_words; ++k) any_excluded |= excluded[k];
    std::size_t pivot = 0;
    std::size_t best = 0;
    bool found = false;
    std::size_t considered = 0;
    const auto scan = [&](const word_t* bits, std::size_t words, std::size_t ceiling) {
      for (std::size_t k = 0; k < words; ++k) {
        for (word_t w = bits[k]; w != 0; w &= w - 1) {
          const std::size_t u = 64 * k + lowest_bit(w);
          ++considered;
          const word_t* row = rows.p_row(u);
          std::size_t count = 0;
          for (std::size_t j = 0; j < p_words; ++j) count += popcount64(candidates[j] & row[j]);
          if (!found || count > best) {
            pivot = u;
            best = count;
            found = true;
          }
          if (best >= ceiling) return true;
        }
      }
      return false;
    };
    if (!scan(candidates, p_words, any_excluded != 0 ? p_count : p_count - 1)) scan(excluded, x_words, p_count);
    tick(frame_words_ + p_words * considered);

    word_t* branches = branches_at(depth, p_words);
    const word_t* pivot_row = rows.p_row(pivot);
    for (std::size_t k = 0; k < p_words; ++k) branches[k] = candidates[k] & ~pivot_row[k];
    return true;
  }

  // Removes the lowest set bit of `bits` into `bit`; false when none is set.
  static bool take_lowest_bit(word_t* bits, std::size_t words, std::size_t& bit) {
    for (std::size_t k = 0; k < words; ++k) {
      if (bits[k] != 0) {
        bit = 64 * k + lowest_bit(bits[k]);
        bits[k] &= bits[k] - 1;
        return true;
      }
    }
    return false;
  }

  std::size_t frame_words_ = 0;
  std::size_t least_path_ = 0;
  // One frame per depth: candidates (P), excluded (X) and the branch list (P
  // minus the pivot's neighbours).
  std::vector<word_t> frames_;
  std::vector<index_t> path_;
};

}  // namespace korvane
