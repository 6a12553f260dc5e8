#include "overlap_forest.hpp"

#include <algorithm>

namespace korvane {

namespace {

// One Prim step, after row `from` joined the tree: raises the best weight of
// each row h still outside to |joined & rows[h]| where that is more, and
// returns the one with the best weight, the first one met on a tie. Rows have
// `Words` words, or `width` when Words is 0.
template <std::size_t Words, class Outside>
#if defined(__GNUC__)
__attribute__((always_inline))
#endif
inline std::size_t prim_step(const word_t* joined, index_t from, const word_t* rows, Outside* outside,
                             std::size_t left, std::size_t width) {
  const std::size_t words = Words != 0 ? Words : width;
  index_t top = 0;
  std::size_t next = 0;
  for (std::size_t h = 0; h < left; ++h) {
    const word_t* other = rows + h * words;
    index_t shared = 0;
    for (std::size_t w = 0; w < words; ++w) shared += static_cast<index_t>(popcount64(joined[w] & other[w]));
    Outside& row = outside[h];
    if (shared > row.best) {
      row.best = shared;
      row.from = from;
    }
    if (row.best > top) {
      top = row.best;
      next = h;
    }
  }
  return next;
}

template <std::size_t Words, class Outside>
std::size_t plain_step(const word_t* joined, index_t from, const word_t* rows, Outside* outside, std::size_t left,
                       std::size_t width) {
  return prim_step<Words>(joined, from, rows, outside, left, width);
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__)) && !defined(__POPCNT__)
// The same step built for the popcnt instruction, which popcount64 becomes
// there. No exception passes through it: the caller ticks between steps.
template <std::size_t Words, class Outside>
__attribute__((target("popcnt"))) std::size_t popcnt_step(const word_t* joined, index_t from, const word_t* rows,
                                                          Outside* outside, std::size_t left, std::size_t width) {
  return prim_step<Words>(joined, from, rows, outside, left, width);
}
#define KORVANE_POPCNT_STEP 1
#endif

// Rows of up to four words get a step of fixed width.
constexpr std::size_t fixed_widths = 4;

}  // namespace

// The bit-count instruction when this processor has it (any x86-64 of the
// last fifteen years), checked once.
template <std::size_t Words>
OverlapForest::StepFn OverlapForest::step_for_width() {
#if defined(KORVANE_POPCNT_STEP)
  static const bool has_popcnt = __builtin_cpu_supports("popcnt");
  if (has_popcnt) return popcnt_step<Words, Outside>;
#endif
  return plain_step<Words, Outside>;
}

word_t* OverlapForest::rows(std::size_t count, std::size_t words) {
  count_ = count;
  words_ = words;
  input_.assign(count * words, 0);
  return input_.data();
}

void OverlapForest::pack_all() {
  row_.resize(count_);
  for (std::size_t k = 0; k < count_; ++k) row_[k] = static_cast<index_t>(k);
  outside_.assign(count_, Outside{0, 0});
  packed_.swap(input_);
}

// The rows sorted; the first of each run of equal rows is packed, in that order.
std::uint64_t OverlapForest::pack_distinct(Ticker& tick) {
  const std::size_t words = words_;
  const auto row = [&](index_t k) { return input_.data() + std::size_t{k} * words; };
  const auto less = [&](index_t a, index_t b) {
    const word_t* x = row(a);
    const word_t* y = row(b);
    for (std::size_t w = 0; w < words; ++w)
      if (x[w] != y[w]) return x[w] < y[w];
    return false;
  };
  order_.resize(count_);
  for (std::size_t k = 0; k < count_; ++k) order_[k] = static_cast<index_t>(k);
  std::sort(order_.begin(), order_.end(), less);
  tick(count_ * 8);
  row_.clear();
  repeats_.clear();
  packed_.resize(count_ * words);
  for (std::size_t k = 0; k < count_; ++k) {
    if (k > 0 && !less(order_[k - 1], order_[k])) {
      repeats_.push_back(k);
      continue;
    }
    const word_t* from = row(order_[k]);
    word_t* to = packed_.data() + row_.size() * words;
    for (std::size_t w = 0; w < words; ++w) to[w] = from[w];
    row_.push_back(order_[k]);
  }
  outside_.assign(row_.size(), Outside{0, 0});
  return row_.size();
}

index_t OverlapForest::weight_of(index_t row) const {
  std::size_t weight = 0;
  for (std::size_t w = 0; w < words_; ++w) weight += popcount64(input_[std::size_t{row} * words_ + w]);
  return static_cast<index_t>(weight);
}

// The words empty in every packed row are dropped, so the rows are weighed
// over the words that count; the step is picked for the width left.
OverlapForest::StepFn OverlapForest::prepare() {
  const std::size_t count = row_.size();
  current_.assign(words_, 0);
  for (std::size_t k = 0; k < count; ++k)
    for (std::size_t w = 0; w < words_; ++w) current_[w] |= packed_[k * words_ + w];
  width_ = words_;
  while (width_ > 1 && current_[width_ - 1] == 0) --width_;
  if (width_ < words_) {
    for (std::size_t k = 1; k < count; ++k)
      for (std::size_t w = 0; w < width_; ++w) packed_[k * width_ + w] = packed_[k * words_ + w];
  }
  StepFn step = step_for_width<0>();
  with_fixed_words<fixed_widths>(width_, [&](auto words) { step = step_for_width<decltype(words)::value>(); });
  return step;
}

// Row `next` joins the tree: it goes to current_, and the last row still
// outside takes its place.
void OverlapForest::take_out(std::size_t next, std::size_t left) {
  word_t* joining = packed_.data() + next * width_;
  const word_t* last = packed_.data() + left * width_;
  for (std::size_t w = 0; w < width_; ++w) {
    current_[w] = joining[w];
    joining[w] = last[w];
  }
  row_[next] = row_[left];
  outside_[next] = outside_[left];
}

}  // namespace korvane
