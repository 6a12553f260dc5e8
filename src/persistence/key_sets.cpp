#include "key_sets.hpp"

namespace korvane {

void KeySets::assign(index_t k, index_t base, const index_t* begin, const index_t* end) {
  if (k >= slots_.size()) slots_.resize(std::max<std::size_t>(std::size_t{k} + 1, 2 * slots_.size()));
  if (short_set_ == flat) return assign_flat(k, base, begin, end);
  const RunList below = base == none ? RunList{nullptr, nullptr} : runs_of(base);
  const std::size_t below_count = static_cast<std::size_t>(below.end() - below.begin());
  std::size_t below_length = 0;
  for (const index_t r : below) below_length += runs_[r].length;
  // The new run takes in the runs at the top of the base's stack while it is
  // at least half the next one, or all of them while the set is short: a
  // short set is one run, read in one binary search.
  std::size_t keep = below_count;
  std::size_t length = static_cast<std::size_t>(end - begin);
  if (below_length + length <= short_set_) {
    keep = 0;
    length += below_length;
  } else {
    for (; keep > 0 && 2 * length >= runs_[below.begin()[keep - 1]].length; --keep)
      length += runs_[below.begin()[keep - 1]].length;
  }
  // The new run goes to the end of vertices_: the fresh vertices as they
  // are, merged with one run straight, or with several through scratch.
  const std::size_t at = vertices_.size();
  const std::size_t absorbed = below_count - keep;
  if (absorbed == 0) {
    vertices_.insert(vertices_.end(), begin, end);
  } else if (absorbed == 1) {
    const index_t r = below.begin()[keep];
    vertices_.resize(at + length);
    std::merge(begin, end, run_begin(r), run_end(r), vertices_.data() + at);
  } else {
    merged_.assign(begin, end);
    for (std::size_t i = below_count; i-- > keep;) {
      const index_t r = below.begin()[i];
      spare_.resize(merged_.size() + runs_[r].length);
      std::merge(merged_.begin(), merged_.end(), run_begin(r), run_end(r), spare_.begin());
      merged_.swap(spare_);
    }
    vertices_.insert(vertices_.end(), merged_.begin(), merged_.end());
  }
  tick_(length);
  const std::size_t start = stacks_.size();
  for (std::size_t i = 0; i < keep; ++i) {
    const index_t r = stacks_[slots_[base].start + i];
    ++runs_[r].refs;
    stacks_.push_back(r);
  }
  if (length != 0) stacks_.push_back(new_run(at, length));
  slots_[k] = Slot{start, checked_index(stacks_.size() - start)};
  live_stack_ += slots_[k].count;
}

void KeySets::assign_flat(index_t k, index_t base, const index_t* begin, const index_t* end) {
  const std::size_t at = vertices_.size();
  const std::size_t below = base == none ? 0 : slots_[base].count;
  const std::size_t length = below + static_cast<std::size_t>(end - begin);
  if (below == 0) {
    vertices_.insert(vertices_.end(), begin, end);
  } else {
    vertices_.resize(at + length);
    std::merge(flat_begin(base), flat_end(base), begin, end, vertices_.data() + at);
  }
  tick_(length);
  slots_[k] = Slot{at, checked_index(length)};
  live_vertices_ += length;
}

void KeySets::clear(index_t k) {
  if (k >= slots_.size()) return;
  if (short_set_ == flat) {
    live_vertices_ -= slots_[k].count;
    slots_[k].count = 0;
    return;
  }
  for (const index_t r : runs_of(k)) drop(r);
  live_stack_ -= slots_[k].count;
  slots_[k].count = 0;
}

void KeySets::append_sorted(index_t k, std::vector<index_t>& out) {
  if (short_set_ == flat) {
    out.insert(out.end(), flat_begin(k), flat_end(k));
    return;
  }
  const RunList runs = runs_of(k);
  if (runs.begin() == runs.end()) return;
  // From the top, the shortest run, down: each merge is at most about twice
  // the length of the run it meets, so the whole costs a few times the set.
  const std::size_t start = out.size();
  const index_t* r = runs.end() - 1;
  out.insert(out.end(), run_begin(*r), run_end(*r));
  while (r != runs.begin()) {
    --r;
    spare_.resize(out.size() - start + runs_[*r].length);
    std::merge(out.begin() + static_cast<std::ptrdiff_t>(start), out.end(), run_begin(*r), run_end(*r),
               spare_.begin());
    out.resize(start);
    out.insert(out.end(), spare_.begin(), spare_.end());
    tick_(spare_.size());
  }
}

index_t KeySets::new_run(std::size_t start, std::size_t length) {
  runs_.push_back(Run{start, checked_index(length), 1});
  live_vertices_ += length;
  return checked_index(runs_.size() - 1);
}

void KeySets::drop(index_t r) {
  if (--runs_[r].refs == 0) live_vertices_ -= runs_[r].length;
}

void KeySets::collect() {
  if (short_set_ == flat) {
    if (vertices_.size() > 4 * live_vertices_ + 65536) compact_flat();
  } else if (vertices_.size() > 4 * live_vertices_ + 65536 || stacks_.size() > 4 * live_stack_ + 65536) {
    compact();
  }
}

// The live flat sets, copied in the order of their slots into a vector of their size.
void KeySets::compact_flat() {
  std::vector<index_t> vertices;
  vertices.reserve(live_vertices_);
  for (Slot& slot : slots_) {
    const std::size_t start = vertices.size();
    vertices.insert(vertices.end(), vertices_.begin() + static_cast<std::ptrdiff_t>(slot.start),
                    vertices_.begin() + static_cast<std::ptrdiff_t>(slot.start + slot.count));
    slot.start = start;
  }
  vertices_.swap(vertices);
  tick_(vertices_.size() + slots_.size());
}

// Slides the live runs down in the order they lie in, which is the order of
// their ids, then rewrites the live stacks with the new ids.
void KeySets::compact() {
  std::vector<index_t> renamed(runs_.size(), none);
  std::size_t fill = 0;
  index_t kept = 0;
  for (std::size_t r = 0; r < runs_.size(); ++r) {
    const Run run = runs_[r];
    if (run.refs == 0) continue;
    std::copy(vertices_.begin() + static_cast<std::ptrdiff_t>(run.start),
              vertices_.begin() + static_cast<std::ptrdiff_t>(run.start + run.length),
              vertices_.begin() + static_cast<std::ptrdiff_t>(fill));
    runs_[kept] = Run{fill, run.length, run.refs};
    renamed[r] = kept++;
    fill += run.length;
  }
  vertices_.resize(fill);
  runs_.resize(kept);
  std::vector<index_t> stacks;
  stacks.reserve(live_stack_);
  for (Slot& slot : slots_) {
    const std::size_t start = stacks.size();
    for (std::size_t i = 0; i < slot.count; ++i) stacks.push_back(renamed[stacks_[slot.start + i]]);
    slot.start = start;
  }
  stacks_.swap(stacks);
  tick_(fill + stacks_.size() + renamed.size());
}

}  // namespace korvane
