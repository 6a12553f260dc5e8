#include "component_keys.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace korvane {

namespace {

std::uint64_t table_hash(std::uint64_t set_hash, index_t q) {
  return scramble(set_hash ^ (std::uint64_t{q} * 0xd6e8feb86659fd93ULL));
}

std::vector<std::uint64_t> vertex_hashes(std::size_t vertex_count) {
  std::vector<std::uint64_t> hashes(vertex_count);
  for (std::size_t x = 0; x < vertex_count; ++x) hashes[x] = scramble(x);
  return hashes;
}

}  // namespace

// A list copies every set it records whole anyway, so its keys keep each set in
// one run, read where it lies; a tree keeps a long set's growth in runs.
ComponentKeys::ComponentKeys(std::size_t vertex_count, PersistenceRecords& records)
    : records_(&records),
      vertex_hash_(vertex_hashes(vertex_count)),
      sets_(tick_, KeySets::flat),
      mark_(vertex_count, 0) {}

ComponentKeys::ComponentKeys(std::size_t vertex_count, CommunityTree& tree)
    : tree_(&tree), vertex_hash_(vertex_hashes(vertex_count)), sets_(tick_, 64), mark_(vertex_count, 0) {}

void ComponentKeys::reserve(std::size_t keys) {
  keys_.reserve(keys);
  index_.reserve(keys);
}

// The key (q, S) with S of `length` vertices and set hash `hash`, where
// member(x) tells whether x is in S.
// A sorted list of S, where the caller has one, settles a key of one run at once.
template <class Member>
index_t ComponentKeys::find(index_t q, std::uint64_t hash, std::size_t length, Member&& member,
                            const index_t* sorted) const {
  return index_.find(table_hash(hash, q), [&](index_t k) {
    const Key& key = keys_[k];
    if (key.level != q || key.hash != hash || key.length != length) return false;
    const index_t *begin, *end;
    if (sorted != nullptr && sets_.one_run(k, begin, end)) return std::equal(begin, end, sorted);
    bool same = true;
    sets_.for_each(k, [&](index_t x) { same = same && member(x); });
    return same;
  });
}

index_t ComponentKeys::find_or_create(index_t q, std::uint64_t hash, const index_t* begin, const index_t* end,
                                      double weight) {
  const std::size_t length = static_cast<std::size_t>(end - begin);
  const index_t found = find(q, hash, length, [&](index_t x) { return std::binary_search(begin, end, x); }, begin);
  if (found != none) return found;
  const index_t k = create(q, hash, length, weight);
  sets_.assign(k, none, begin, end);
  if (tree_ != nullptr) note_birth(k, nullptr, nullptr, begin, end);
  return k;
}

// A key whose set sets_ is yet to be given.
index_t ComponentKeys::create(index_t q, std::uint64_t hash, std::size_t length, double weight) {
  index_t k;
  if (free_keys_.empty()) {
    k = checked_index(keys_.size());
    keys_.emplace_back();
  } else {
    k = free_keys_.back();
    free_keys_.pop_back();
  }
  keys_[k] = Key{hash, checked_index(length), q, 0, 0, step_, weight, none, none};
  touched_.push_back(k);
  index_.insert(table_hash(hash, q), k);
  return k;
}

// Two fresh stamps: stamp_ - 1 marks the base's vertices, stamp_ those met.
void ComponentKeys::next_stamps() {
  if (stamp_ >= UINT32_MAX - 2) {
    std::fill(mark_.begin(), mark_.end(), 0);
    stamp_ = 0;
  }
  stamp_ += 2;
}

// The union is the longest old set (the base) plus the vertices it lacks, so
// a long base is not read beyond what the other classes bring; the new key
// shares the base's runs.
index_t ComponentKeys::merged(index_t q, std::vector<index_t>& old_keys, const std::vector<index_t>& extra,
                              double weight) {
  if (extra.empty() && old_keys.size() == 1) return old_keys[0];  // one class, nothing brought
  index_t base = none;
  std::size_t brought = extra.size();
  for (const index_t k : old_keys) {
    if (base == none || keys_[k].length > keys_[base].length) base = k;
    brought += keys_[k].length;
  }
  const std::size_t base_length = base == none ? 0 : keys_[base].length;
  brought -= base_length;
  // Whether the base holds a vertex: a short base is marked, each vertex then
  // answered in one look; a long one is searched, which reads only around the
  // vertices brought.
  next_stamps();
  const std::uint32_t in_base = stamp_ - 1, met = stamp_;
  const bool marking = base != none && base_length <= 4 * brought + 16;
  if (marking) sets_.for_each(base, [&](index_t x) { mark_[x] = in_base; });
  const auto held = [&](index_t x) { return marking ? mark_[x] == in_base : base != none && sets_.contains(base, x); };
  fresh_.clear();
  const auto take = [&](index_t x) {
    if (mark_[x] == in_base || mark_[x] == met) return;
    mark_[x] = met;
    if (!marking && held(x)) return;
    fresh_.push_back(x);
  };
  for (const index_t k : old_keys) {
    if (k == base) continue;
    sets_.for_each(k, take);
    tick_(keys_[k].length);
  }
  // The vertices of `extra` that no old key holds: what the tree says the new
  // key adds.
  const std::size_t from_old_keys = fresh_.size();
  for (const index_t x : extra) take(x);
  tick_(extra.size() + fresh_.size() * 8 + (marking ? base_length : 0) + 1);
  if (fresh_.empty() && old_keys.size() == 1) return base;

  for (const index_t k : old_keys) release(k);
  index_t key = base;
  if (!fresh_.empty()) {
    if (tree_ != nullptr) {
      added_.assign(fresh_.begin() + static_cast<std::ptrdiff_t>(from_old_keys), fresh_.end());
      std::sort(added_.begin(), added_.end());
    }
    std::sort(fresh_.begin(), fresh_.end());
    std::uint64_t hash = base == none ? 0 : keys_[base].hash;
    for (const index_t x : fresh_) hash += vertex_hash_[x];
    const std::size_t length = base_length + fresh_.size();
    key = find(q, hash, length,
               [&](index_t x) { return held(x) || std::binary_search(fresh_.begin(), fresh_.end(), x); });
    if (key == none) {
      key = create(q, hash, length, weight);
      sets_.assign(key, base, fresh_.data(), fresh_.data() + fresh_.size());
      if (tree_ != nullptr) {
        std::sort(old_keys.begin(), old_keys.end());
        old_keys.erase(std::unique(old_keys.begin(), old_keys.end()), old_keys.end());
        note_birth(key, old_keys.data(), old_keys.data() + old_keys.size(), added_.data(),
                   added_.data() + added_.size());
      }
    }
  }
  acquire(key);
  return key;
}

void ComponentKeys::add_top(index_t q, const index_t* begin, const index_t* end, double weight) {
  const std::size_t width = static_cast<std::size_t>(end - begin);
  if (top_birth_.empty()) {
    top_level_ = q;
    top_width_ = width;
  } else if (q != top_level_ || width != top_width_) {
    throw std::logic_error("top keys of two levels");
  }
  checked_index(top_birth_.size());
  top_birth_.push_back(weight);
  if (tree_ == nullptr) {
    top_vertices_.insert(top_vertices_.end(), begin, end);
    return;
  }
  // In a tree a top key is a record of its own from the start: nothing grows
  // from it, and it lives to the end.
  tree_->q.push_back(q);
  tree_->parents.close_group();
  tree_->added.items.insert(tree_->added.items.end(), begin, end);
  tree_->added.close_group();
  tree_->birth.push_back(weight);
  tree_->death.push_back(std::numeric_limits<double>::quiet_NaN());
  checked_index(tree_->size());
}

void ComponentKeys::touch(index_t k) {
  Key& key = keys_[k];
  if (key.touched_step == step_) return;
  key.touched_step = step_;
  key.count_before = key.count;
  touched_.push_back(k);
}

void ComponentKeys::remove(index_t k) {
  Key& key = keys_[k];
  index_.erase(table_hash(key.hash, key.level), k);
  sets_.clear(k);
  key.level = none;
  free_keys_.push_back(k);
}

void ComponentKeys::close_step(double weight) {
  if (tree_ != nullptr) {
    close_tree_step(weight);
  } else {
    close_listed_step(weight);
  }
  touched_.clear();
  sets_.collect();
  tick_();
}

void ComponentKeys::finish(double weight) {
  if (tree_ == nullptr) {
    finish_list(weight);
    return;
  }
  // Every record without a death yet is a key alive at the end, or a top key.
  for (double& death : tree_->death)
    if (std::isnan(death)) death = weight;
}

}  // namespace korvane
