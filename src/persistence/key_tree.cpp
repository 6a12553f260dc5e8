// The records of a filtration as a community tree: each record names the
// earlier records it grew from and lists only the vertices it adds to them.
#include <cmath>
#include <limits>

#include "component_keys.hpp"

namespace korvane {

// Key k was just made of the keys [parents_begin, parents_end), distinct, and
// of the vertices [added_begin, added_end), ascending, which none of them holds.
void ComponentKeys::note_birth(index_t k, const index_t* parents_begin, const index_t* parents_end,
                               const index_t* added_begin, const index_t* added_end) {
  keys_[k].born = checked_index(born_.size());
  born_.push_back(k);
  born_parents_.items.insert(born_parents_.items.end(), parents_begin, parents_end);
  born_parents_.close_group();
  born_added_.items.insert(born_added_.items.end(), added_begin, added_end);
  born_added_.close_group();
}

// A key made in this step and gone by its end leaves no record, so a key made
// of it is made of what it was made of instead. Keys are resolved in the order
// they were made, so such a key's own entry is resolved already. Its vertices
// may lie in another parent of the key made of it, so they are checked again.
void ComponentKeys::resolve_births() {
  resolved_parents_.clear();
  resolved_added_.clear();
  for (std::size_t i = 0; i < born_.size(); ++i) {
    const std::size_t parents_start = resolved_parents_.items.size();
    const std::size_t added_start = resolved_added_.items.size();
    bool replaced = false;
    for (const index_t* p = born_parents_.begin(i); p != born_parents_.end(i); ++p) {
      const Key& parent = keys_[*p];
      if (parent.born == none || parent.count != 0) {
        resolved_parents_.items.push_back(*p);
        continue;
      }
      replaced = true;
      // By position: the groups grow while they are read.
      for (std::size_t g = resolved_parents_.starts[parent.born]; g < resolved_parents_.starts[parent.born + 1]; ++g)
        resolved_parents_.items.push_back(resolved_parents_.items[g]);
      for (std::size_t x = resolved_added_.starts[parent.born]; x < resolved_added_.starts[parent.born + 1]; ++x)
        resolved_added_.items.push_back(resolved_added_.items[x]);
    }
    resolved_added_.items.insert(resolved_added_.items.end(), born_added_.begin(i), born_added_.end(i));
    if (replaced) {
      auto& parents = resolved_parents_.items;
      std::sort(parents.begin() + static_cast<std::ptrdiff_t>(parents_start), parents.end());
      parents.erase(std::unique(parents.begin() + static_cast<std::ptrdiff_t>(parents_start), parents.end()),
                    parents.end());
      auto& added = resolved_added_.items;
      const auto first = added.begin() + static_cast<std::ptrdiff_t>(added_start);
      std::sort(first, added.end());
      added.erase(std::unique(first, added.end()), added.end());
      added.erase(std::remove_if(first, added.end(),
                                 [&](index_t x) {
                                   for (std::size_t g = parents_start; g < parents.size(); ++g)
                                     if (sets_.contains(parents[g], x)) return true;
                                   return false;
                                 }),
                  added.end());
    }
    resolved_parents_.close_group();
    resolved_added_.close_group();
    tick_(resolved_parents_.length(i) + resolved_added_.length(i) + 1);
  }
}

void ComponentKeys::close_tree_step(double weight) {
  if (!born_.empty()) {
    resolve_births();
    CommunityTree& tree = *tree_;
    for (std::size_t i = 0; i < born_.size(); ++i) {
      Key& key = keys_[born_[i]];
      key.born = none;
      if (key.count == 0) continue;
      key.record = checked_index(tree.size());
      tree.q.push_back(key.level);
      for (const index_t* p = resolved_parents_.begin(i); p != resolved_parents_.end(i); ++p)
        tree.parents.items.push_back(keys_[*p].record);
      tree.parents.close_group();
      tree.added.items.insert(tree.added.items.end(), resolved_added_.begin(i), resolved_added_.end(i));
      tree.added.close_group();
      tree.birth.push_back(key.birth);
      tree.death.push_back(std::numeric_limits<double>::quiet_NaN());
    }
    born_.clear();
    born_parents_.clear();
    born_added_.clear();
  }
  for (const index_t k : touched_) {
    if (keys_[k].count != 0) continue;
    if (keys_[k].count_before != 0) tree_->death[keys_[k].record] = weight;
    remove(k);
  }
}

}  // namespace korvane
