#include "small_cliques.hpp"

#include <algorithm>

namespace korvane {

SmallCliqueSearch::SmallCliqueSearch(const Graph& graph, std::size_t max_size, Ticker& tick)
    : graph_(graph), max_size_(max_size), tick_(tick), order_(degeneracy_order(graph)), rank_(order_.size()) {
  for (index_t i = 0; i < order_.size(); ++i) rank_[order_[i]] = i;
  for (index_t v = 0; v < order_.size(); ++v) {
    std::size_t later = 0;
    for (const index_t* u = graph.neighbours_begin(v); u != graph.neighbours_end(v); ++u) later += rank_[*u] > rank_[v];
    degeneracy_ = std::max(degeneracy_, later);
  }
  tick_(graph.neighbours.size());
  if (max_size_ >= 3) local_of_.assign(order_.size(), no_tag);
}

void SmallCliqueSearch::enter_start(index_t v) {
  for (const index_t u : later_) {
    if (!local_of_.empty()) local_of_[u] = no_tag;
  }
  later_.clear();
  start_ = v;
  for (const index_t* u = graph_.neighbours_begin(v); u != graph_.neighbours_end(v); ++u) {
    if (rank_[*u] > rank_[v]) later_.push_back(*u);
  }
  tick_(graph_.degree(v));
  const std::size_t p = later_.size();
  words_ = (p + 63) / 64;
  // Frame depth + 1 is written only below a clique of depth + 2 < max_size
  // vertices, depth + 1 of them locals, so frames 0 .. min(max_size - 2, p) suffice.
  const std::size_t frames = std::min(max_size_ - 1, p + 1);
  if (frames_.size() < frames * words_) frames_.resize(frames * words_);
  if (first_word_.size() < frames) {
    first_word_.resize(frames);
    tags_.resize(frames);
  }
  word_t* all = candidates_at(0);
  for (std::size_t k = 0; k < words_; ++k) all[k] = ~word_t{0};
  if (p % 64 != 0) all[words_ - 1] = (word_t{1} << (p % 64)) - 1;
  first_word_[0] = 0;
  chosen_.clear();
  if (max_size_ < 3) return;

  for (std::size_t l = 0; l < p; ++l) local_of_[later_[l]] = static_cast<index_t>(l);
  rows_.assign(p * words_, 0);
  for (std::size_t w = 0; w < p; ++w) {
    const index_t* begin = graph_.neighbours_begin(later_[w]);
    const index_t* end = graph_.neighbours_end(later_[w]);
    word_t* bits = rows_.data() + w * words_;
    // Walk the shorter side: the neighbour list, or the locals probed by binary search.
    if (static_cast<std::size_t>(end - begin) <= 8 * p) {
      for (const index_t* u = begin; u != end; ++u) {
        const index_t l = local_of_[*u];
        if (l != no_tag) bits[l / 64] |= word_t{1} << (l % 64);
      }
      tick_(static_cast<std::size_t>(end - begin));
    } else {
      for (std::size_t l = 0; l < p; ++l) {
        if (std::binary_search(begin, end, later_[l])) bits[l / 64] |= word_t{1} << (l % 64);
      }
      tick_(8 * p);
    }
  }
}

bool SmallCliqueSearch::take_lowest(std::size_t depth, std::size_t& bit) {
  word_t* candidates = candidates_at(depth);
  for (std::size_t k = first_word_[depth]; k < words_; ++k) {
    if (candidates[k] != 0) {
      bit = 64 * k + lowest_bit(candidates[k]);
      candidates[k] &= candidates[k] - 1;
      first_word_[depth] = k;
      return true;
    }
  }
  first_word_[depth] = words_;
  return false;
}

bool SmallCliqueSearch::open_child(std::size_t depth, std::size_t bit) {
  // The candidates left at `depth` all lie after `bit`, so earlier words are empty.
  const std::size_t first = bit / 64;
  const word_t* parent = candidates_at(depth);
  word_t* child = candidates_at(depth + 1);
  const word_t* adjacent = row(bit);
  word_t any = 0;
  for (std::size_t k = first; k < words_; ++k) any |= child[k] = parent[k] & adjacent[k];
  first_word_[depth + 1] = first;
  return any != 0;
}

void SmallCliqueSearch::push_member(index_t vertex) {
  if (members_.back() > vertex) {
    // Only the start vertex can lie above the new member: it moves up one place.
    members_.back() = vertex;
    members_.push_back(start_);
  } else {
    members_.push_back(vertex);
  }
}

void SmallCliqueSearch::pop_member(index_t vertex) {
  if (members_.back() != vertex) members_[members_.size() - 2] = start_;
  members_.pop_back();
}

std::optional<std::uint64_t> SmallCliqueSearch::weight_within(std::uint64_t budget) {
  std::uint64_t weight = 0;
  for (const index_t v : order_) {
    ++weight;
    if (max_size_ < 2) continue;
    enter_start(v);
    std::size_t depth = 0;
    while (true) {
      if (depth + 2 == max_size_) {
        // The last level is counted, not walked.
        const word_t* candidates = candidates_at(depth);
        std::size_t count = 0;
        for (std::size_t k = first_word_[depth]; k < words_; ++k) count += popcount64(candidates[k]);
        weight += max_size_ * count;
        tick_(words_);
      } else {
        std::size_t bit = 0;
        if (take_lowest(depth, bit)) {
          weight += depth + 2;
          tick_(words_ + 1);
          if (open_child(depth, bit)) ++depth;
          if (weight > budget) return std::nullopt;
          continue;
        }
      }
      if (weight > budget) return std::nullopt;
      if (depth == 0) break;
      --depth;
    }
  }
  return weight;
}

}  // namespace korvane
