// The records of a filtration as a list, each with its whole vertex list.
#include <numeric>

#include "component_keys.hpp"

namespace korvane {

// listed_ gets the sets of `ks` by q and then vertex list (dense ids follow
// the caller's ids), each with its position in `ks`. A set kept in one run is
// read where it lies; the others are merged into listed_merged_ first.
void ComponentKeys::list_sorted(const std::vector<index_t>& ks) {
  listed_.clear();
  listed_merged_.clear();
  for (std::size_t i = 0; i < ks.size(); ++i) {
    Listed entry{keys_[ks[i]].level, 0, static_cast<index_t>(i), nullptr, nullptr};
    if (!sets_.one_run(ks[i], entry.begin, entry.end)) {
      // Where it will start, until listed_merged_ stops moving.
      entry.first = checked_index(listed_merged_.size());
      sets_.append_sorted(ks[i], listed_merged_);
    }
    listed_.push_back(entry);
  }
  for (Listed& entry : listed_) {
    if (entry.begin == nullptr) {
      entry.begin = listed_merged_.data() + entry.first;
      entry.end = entry.begin + keys_[ks[entry.position]].length;
    }
    entry.first = *entry.begin;
  }
  std::sort(listed_.begin(), listed_.end(), [](const Listed& x, const Listed& y) {
    if (x.level != y.level) return x.level < y.level;
    if (x.first != y.first) return x.first < y.first;
    return std::lexicographical_compare(x.begin, x.end, y.begin, y.end);
  });
  tick_(ks.size() * 8 + listed_merged_.size());
}

void ComponentKeys::close_listed_step(double weight) {
  dying_.clear();
  for (const index_t k : touched_) {
    if (keys_[k].count != 0) continue;
    if (keys_[k].count_before != 0) {
      dying_.push_back(k);
    } else {
      remove(k);
    }
  }
  if (dying_.empty()) return;
  list_sorted(dying_);
  for (const Listed& entry : listed_) emit(dying_[entry.position], entry.begin, entry.end, weight);
  for (const index_t k : dying_) remove(k);
}

// The counted keys and the top keys, each sorted, merged by q and vertex list.
void ComponentKeys::finish_list(double weight) {
  std::vector<index_t> alive;
  for (index_t k = 0; k < keys_.size(); ++k)
    if (keys_[k].level != none) alive.push_back(k);
  list_sorted(alive);
  const std::vector<index_t> tops = sorted_tops();
  const auto top_row = [&](index_t t) { return top_vertices_.data() + std::size_t{t} * top_width_; };
  const auto before_top = [&](const Listed& entry, index_t t) {
    if (entry.level != top_level_) return entry.level < top_level_;
    return std::lexicographical_compare(entry.begin, entry.end, top_row(t), top_row(t) + top_width_);
  };
  std::size_t next_top = 0;
  for (const Listed& entry : listed_) {
    for (; next_top < tops.size() && !before_top(entry, tops[next_top]); ++next_top) emit_top(tops[next_top], weight);
    emit(alive[entry.position], entry.begin, entry.end, weight);
  }
  for (; next_top < tops.size(); ++next_top) emit_top(tops[next_top], weight);
}

// Top keys in ascending order of their vertex lists: a stable counting sort
// per column, from the last column to the first, when they outnumber the
// vertices enough to pay for the counters.
std::vector<index_t> ComponentKeys::sorted_tops() {
  const std::size_t count = top_birth_.size();
  std::vector<index_t> order(count);
  std::iota(order.begin(), order.end(), index_t{0});
  const auto row = [&](index_t t) { return top_vertices_.data() + std::size_t{t} * top_width_; };
  if (count * 16 < vertex_hash_.size()) {
    std::sort(order.begin(), order.end(), [&](index_t a, index_t b) {
      return std::lexicographical_compare(row(a), row(a) + top_width_, row(b), row(b) + top_width_);
    });
    return order;
  }
  std::vector<index_t> sorted(count);
  std::vector<std::size_t> start(vertex_hash_.size() + 1);
  for (std::size_t column = top_width_; count > 1 && column-- > 0;) {
    std::fill(start.begin(), start.end(), 0);
    for (std::size_t t = 0; t < count; ++t) ++start[top_vertices_[t * top_width_ + column] + 1];
    std::partial_sum(start.begin(), start.end(), start.begin());
    for (const index_t t : order) sorted[start[top_vertices_[t * top_width_ + column]]++] = t;
    order.swap(sorted);
    tick_(count + start.size());
  }
  return order;
}

void ComponentKeys::emit(index_t k, const index_t* begin, const index_t* end, double death) {
  tick_(static_cast<std::size_t>(end - begin));
  records_->q.push_back(keys_[k].level);
  append_polling(records_->vertices.items, begin, end, tick_);
  records_->vertices.close_group();
  records_->birth.push_back(keys_[k].birth);
  records_->death.push_back(death);
}

void ComponentKeys::emit_top(index_t t, double death) {
  tick_(top_width_);
  records_->q.push_back(top_level_);
  const index_t* row = top_vertices_.data() + t * top_width_;
  append_polling(records_->vertices.items, row, row + top_width_, tick_);
  records_->vertices.close_group();
  records_->birth.push_back(top_birth_[t]);
  records_->death.push_back(death);
}

}  // namespace korvane
