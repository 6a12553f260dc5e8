// The vertex sets of component keys, shared between a key and the keys grown
// from it.
#pragma once

#include <algorithm>
#include <vector>

#include "core.hpp"

namespace korvane {

// A set is a stack of ascending, pairwise disjoint runs of vertices, each run
// at most half as long as the one below it, so a set of n vertices has at most
// log2(n) + 1 runs. A set grown from another shares that one's runs and pushes
// one run of what it adds, merging the top runs while the stack is out of
// shape: along a chain of growing sets each vertex is copied O(log n) times,
// not once per set. Runs are immutable and counted; the dead ones are dropped
// once they outweigh the live ones a few times over.
class KeySets {
 public:
  // Sets of at most `short_set` vertices are kept in one run. With `flat`,
  // every set is one run of its own, copied whole when a set grows from it:
  // for callers that copy every set whole anyway.
  static constexpr std::size_t flat = static_cast<std::size_t>(-1);
  KeySets(Ticker& tick, std::size_t short_set) : tick_(tick), short_set_(short_set) {}

  // Slot k holds the set of `base` (none: the empty set) and the vertices
  // [begin, end), ascending and not in `base`'s set. Slot k is empty before,
  // and `base` is another slot.
  void assign(index_t k, index_t base, const index_t* begin, const index_t* end);
  // Empties slot k.
  void clear(index_t k);

  bool contains(index_t k, index_t x) const {
    if (short_set_ == flat) return std::binary_search(flat_begin(k), flat_end(k), x);
    for (const index_t r : runs_of(k))
      if (std::binary_search(run_begin(r), run_end(r), x)) return true;
    return false;
  }
  template <class F>
  void for_each(index_t k, F&& f) const {
    if (short_set_ == flat) {
      for (const index_t* x = flat_begin(k); x != flat_end(k); ++x) f(*x);
      return;
    }
    for (const index_t r : runs_of(k))
      for (const index_t* x = run_begin(r); x != run_end(r); ++x) f(*x);
  }
  // Slot k's set as one ascending run, or false when it has several.
  bool one_run(index_t k, const index_t*& begin, const index_t*& end) const {
    if (short_set_ == flat) {
      begin = flat_begin(k);
      end = flat_end(k);
      return true;
    }
    const RunList runs = runs_of(k);
    if (runs.end() - runs.begin() != 1) return false;
    begin = run_begin(*runs.begin());
    end = run_end(*runs.begin());
    return true;
  }
  // Appends slot k's set to `out`, ascending.
  void append_sorted(index_t k, std::vector<index_t>& out);

  // Drops the dead runs once they outweigh the live ones.
  void collect();

 private:
  struct Run {
    std::size_t start;  // vertices_[start .. start + length)
    index_t length;
    index_t refs;  // slots whose stacks hold it
  };
  // The stack stacks_[start .. start + count), bottom first; a flat set is
  // vertices_[start .. start + count) instead.
  struct Slot {
    std::size_t start = 0;
    index_t count = 0;
  };
  struct RunList {
    const index_t* first;
    const index_t* last;
    const index_t* begin() const { return first; }
    const index_t* end() const { return last; }
  };

  RunList runs_of(index_t k) const {
    if (k >= slots_.size()) return {nullptr, nullptr};
    const index_t* first = stacks_.data() + slots_[k].start;
    return {first, first + slots_[k].count};
  }
  const index_t* flat_begin(index_t k) const { return vertices_.data() + slots_[k].start; }
  const index_t* flat_end(index_t k) const { return flat_begin(k) + slots_[k].count; }
  const index_t* run_begin(index_t r) const { return vertices_.data() + runs_[r].start; }
  const index_t* run_end(index_t r) const { return run_begin(r) + runs_[r].length; }
  index_t new_run(std::size_t start, std::size_t length);
  void drop(index_t r);
  void assign_flat(index_t k, index_t base, const index_t* begin, const index_t* end);
  void compact();
  void compact_flat();

  Ticker& tick_;
  std::size_t short_set_;
  std::vector<index_t> vertices_;
  std::vector<Run> runs_;  // in the order of their starts
  std::vector<index_t> stacks_;
  std::vector<Slot> slots_;
  std::size_t live_vertices_ = 0;  // in runs still held, or in flat sets
  std::size_t live_stack_ = 0;     // stack entries of non-empty slots
  std::vector<index_t> merged_;  // scratch of assign and append_sorted
  std::vector<index_t> spare_;
};

}  // namespace korvane
