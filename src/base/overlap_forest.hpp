// A maximum spanning forest of a family of bit rows under the weight |A & B|:
// the kernel that ties sets by their overlaps, for the levels' holders of one
// vertex and for the cores of one new edge.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "bitsets.hpp"
#include "core.hpp"

namespace korvane {

// The rows are written through rows(); span() or span_distinct() then calls
// emit(a, b, weight) for count-1 pairs of row indices whose union, at every
// threshold w, connects exactly the rows that chains of pairs of weight >= w
// connect: a maximum spanning tree of the complete graph on the rows, grown by
// Prim's algorithm from the first row (dense: D(D-1)/2 weighings for D rows).
// In each pair `a` is in the tree already and `b` joins it, weighing |a & b|.
// The scratch is kept from call to call, so that tying many families
// allocates only for the largest.
class OverlapForest {
 public:
  // Room for `count` rows of `words` words each, zeroed, to be filled in.
  word_t* rows(std::size_t count, std::size_t words);

  // Spans all the rows.
  template <class Emit>
  void span(Emit&& emit, Ticker& tick) {
    pack_all();
    grow(emit, tick);
  }

  // Equal rows share all their bits: a chain ties them, and one of them stands
  // for the others in the tree. Weighing the D distinct rows takes D(D-1)/2
  // from `budget`; when that is short, returns false, having spent only a
  // sort and emitted nothing.
  template <class Emit>
  bool span_distinct(Emit&& emit, std::uint64_t& budget, Ticker& tick) {
    if (count_ < 2) return true;
    const std::uint64_t distinct = pack_distinct(tick);
    const std::uint64_t weighed = distinct * (distinct - 1) / 2;
    if (weighed > budget) return false;
    budget -= weighed;
    for (const std::size_t k : repeats_) emit(order_[k - 1], order_[k], weight_of(order_[k]));
    grow(emit, tick);
    return true;
  }

 private:
  // A row not yet in the tree: its best weight to the tree so far and the
  // tree row that weight comes from.
  struct Outside {
    index_t best;
    index_t from;
  };
  using StepFn = std::size_t (*)(const word_t* joined, index_t from, const word_t* rows, Outside* outside,
                                 std::size_t left, std::size_t width);

  void pack_all();
  std::uint64_t pack_distinct(Ticker& tick);
  index_t weight_of(index_t row) const;
  StepFn prepare();
  template <std::size_t Words>
  static StepFn step_for_width();
  void take_out(std::size_t next, std::size_t left);

  template <class Emit>
  void grow(Emit& emit, Ticker& tick) {
    std::size_t left = row_.size();
    if (left < 2) return;
    const StepFn step = prepare();
    std::size_t next = 0;
    while (left > 1) {
      const index_t joined = row_[next];
      take_out(next, --left);
      next = step(current_.data(), joined, packed_.data(), outside_.data(), left, width_);
      emit(outside_[next].from, row_[next], outside_[next].best);
      tick(left * (width_ + 1));
    }
  }

  std::size_t count_ = 0;
  std::size_t words_ = 0;
  std::vector<word_t> input_;         // the rows as written
  std::vector<index_t> order_;        // span_distinct: the rows, sorted
  std::vector<std::size_t> repeats_;  // and the positions in order_ of a row equal to the one before
  // Prim's state: the rows not yet in the tree, packed at the front of row_
  // (their indices), outside_ and, width_ words each, packed_; current_ is
  // the row that joined last.
  std::vector<index_t> row_;
  std::vector<Outside> outside_;
  std::vector<word_t> packed_;
  std::size_t width_ = 0;
  std::vector<word_t> current_;
};

}  // namespace korvane
