#include "small_cliques.hpp"

#include <algorithm>
#include <utility>

namespace korvane {

void SmallCliqueSearch::reset(const Graph& graph, std::size_t max_size) {
  graph_ = &graph;
  max_size_ = max_size;
  order_.assign(graph, tick_);
  if (locals_reach_ < graph.vertex_count()) {
    locals_reach_ = graph.vertex_count();
    locals_ = LocalNeighbourhood(locals_reach_);
  }
}

index_t SmallCliqueSearch::edge_id(index_t a, index_t b) const {
  if (order_.rank(a) > order_.rank(b)) std::swap(a, b);
  return static_cast<index_t>(std::lower_bound(order_.later_begin(a), order_.later_end(a), b) -
                              order_.later().data());
}

std::vector<index_t> SmallCliqueSearch::edge_ends() const {
  std::vector<index_t> ends;
  ends.reserve(2 * order_.later().size());
  for (index_t v = 0; v < graph_->vertex_count(); ++v) {
    for (const index_t* u = order_.later_begin(v); u != order_.later_end(v); ++u) {
      ends.push_back(std::min(v, *u));
      ends.push_back(std::max(v, *u));
    }
  }
  return ends;
}

void SmallCliqueSearch::enter_start(index_t v) {
  start_ = v;
  locals_.clear();
  locals_.add(order_.later_begin(v), order_.later_end(v));
  const std::size_t p = locals_.count();
  words_ = words_for(p);
  // Frame depth + 1 is written only below a clique of depth + 2 < max_size
  // vertices, depth + 1 of them locals, so frames 0 .. min(max_size - 2, p) suffice.
  const std::size_t frames = std::min(max_size_ - 1, p + 1);
  // One spare word keeps the store allocated, so no frame pointer is null.
  if (frames_.size() <= 2 * frames * words_) frames_.resize(2 * frames * words_ + 1);
  if (first_word_.size() < frames) {
    first_word_.resize(frames);
    tags_.resize(frames);
  }
  word_t* all = candidates_at(0);
  for (std::size_t k = 0; k < words_; ++k) all[k] = ~word_t{0};
  if (p % 64 != 0) all[words_ - 1] = (word_t{1} << (p % 64)) - 1;
  std::copy(all, all + words_, siblings_at(0));
  first_word_[0] = 0;
  chosen_.clear();
  tick_(p + 1);
  if (max_size_ < 3) return;

  // Two locals are adjacent when one is a later neighbour of the other.
  rows_.assign(p * words_, 0);
  const auto later = [&](index_t g) { return std::pair(order_.later_begin(g), order_.later_end(g)); };
  locals_.for_each_link(
      p, later,
      [&](std::size_t i, std::size_t j) {
        set_bit(rows_.data() + i * words_, j);
        set_bit(rows_.data() + j * words_, i);
      },
      tick_);
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
  word_t* siblings = siblings_at(depth + 1);
  const word_t* adjacent = row(bit);
  word_t any = 0;
  for (std::size_t k = first; k < words_; ++k) any |= siblings[k] = child[k] = parent[k] & adjacent[k];
  std::fill(siblings, siblings + first, word_t{0});
  first_word_[depth + 1] = first;
  return any != 0;
}

bool SmallCliqueSearch::linked(std::size_t depth, std::size_t bit) const {
  if (max_size_ < 3) return false;  // no rows
  const word_t* siblings = frames_.data() + (2 * depth + 1) * words_;
  const word_t* adjacent = row(bit);
  const std::size_t last = bit / 64;
  for (std::size_t k = 0; k < last; ++k) {
    if ((siblings[k] & adjacent[k]) != 0) return true;
  }
  return (siblings[last] & adjacent[last] & ((word_t{1} << (bit % 64)) - 1)) != 0;
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
  const bool within = count([&](std::size_t size, std::size_t cliques) {
    weight += size * size * cliques;
    return weight <= budget;
  });
  if (!within) return std::nullopt;
  return weight;
}

double SmallCliqueSearch::weight_bound() const {
  double bound = 0;
  for (index_t v = 0; v < graph_->vertex_count(); ++v) {
    const double p = static_cast<double>(order_.later_count(v));
    double cliques = 1;  // C(p, k - 1), for k = 1 ..
    for (std::size_t k = 1; k <= max_size_ && cliques > 0; ++k) {
      bound += static_cast<double>(k * k) * cliques;
      cliques = cliques * (p - static_cast<double>(k - 1)) / static_cast<double>(k);
    }
  }
  return bound;
}

}  // namespace korvane
