#include "tree_queries.hpp"

#include <algorithm>
#include <iterator>

namespace korvane {

void TreeWalk::vertices(index_t r, std::vector<index_t>& out) {
  if (++stamp_ == 0) {
    std::fill(seen_.begin(), seen_.end(), 0);
    stamp_ = 1;
  }
  const std::size_t start = out.size();
  stack_.assign(1, r);
  seen_[r] = stamp_;
  while (!stack_.empty()) {
    const index_t at = stack_.back();
    stack_.pop_back();
    out.insert(out.end(), tree_.added.begin(at), tree_.added.end(at));
    for (const index_t* p = tree_.parents.begin(at); p != tree_.parents.end(at); ++p) {
      if (seen_[*p] == stamp_) continue;
      seen_[*p] = stamp_;
      stack_.push_back(*p);
    }
    tick_(tree_.added.length(at) + tree_.parents.length(at) + 1);
  }
  // Branches of the tree may add the same vertex each.
  std::sort(out.begin() + static_cast<std::ptrdiff_t>(start), out.end());
  out.erase(std::unique(out.begin() + static_cast<std::ptrdiff_t>(start), out.end()), out.end());
  tick_(8 * (out.size() - start));
}

std::vector<index_t> alive_records(const CommunityTree& tree, std::int64_t q, double weight) {
  std::vector<index_t> alive;
  for (std::size_t r = 0; r < tree.size(); ++r)
    if (tree.q[r] == q && tree.birth[r] <= weight && weight < tree.death[r]) alive.push_back(static_cast<index_t>(r));
  return alive;
}

Groups<index_t> all_vertex_sets(const CommunityTree& tree) {
  Groups<index_t> sets;
  std::vector<index_t> unioned;
  std::vector<index_t> spare;
  Ticker tick;
  for (std::size_t r = 0; r < tree.size(); ++r) {
    unioned.assign(tree.added.begin(r), tree.added.end(r));
    for (const index_t* p = tree.parents.begin(r); p != tree.parents.end(r); ++p) {
      spare.clear();
      std::set_union(unioned.begin(), unioned.end(), sets.begin(*p), sets.end(*p), std::back_inserter(spare));
      unioned.swap(spare);
      tick(unioned.size());
    }
    append_polling(sets.items, unioned.data(), unioned.data() + unioned.size(), tick);
    sets.close_group();
  }
  return sets;
}

}  // namespace korvane
