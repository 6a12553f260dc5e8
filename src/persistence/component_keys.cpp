#include "component_keys.hpp"

#include <algorithm>
#include <numeric>

namespace korvane {

namespace {

std::uint64_t table_hash(std::uint64_t set_hash, index_t q) {
  return scramble(set_hash ^ (std::uint64_t{q} * 0xd6e8feb86659fd93ULL));
}

}  // namespace

ComponentKeys::ComponentKeys(std::size_t vertex_count, Ticker& tick) : tick_(tick), mark_(vertex_count, 0) {
  vertex_hash_.resize(vertex_count);
  for (std::size_t x = 0; x < vertex_count; ++x) vertex_hash_[x] = scramble(x);
}

void ComponentKeys::reserve(std::size_t keys, std::size_t ids) {
  keys_.reserve(keys);
  index_.reserve(keys);
  arena_.reserve(ids);
}

index_t ComponentKeys::find_or_create(index_t q, std::uint64_t hash, const index_t* begin, const index_t* end,
                                      double weight) {
  const index_t found = find(q, hash, begin, end);
  if (found != none) return found;
  const std::size_t start = arena_.size();
  arena_.insert(arena_.end(), begin, end);
  return create(q, hash, start, arena_.size() - start, weight);
}

index_t ComponentKeys::find(index_t q, std::uint64_t hash, const index_t* begin, const index_t* end) const {
  const index_t length = checked_index(static_cast<std::size_t>(end - begin));
  return index_.find(table_hash(hash, q), [&](index_t k) {
    const Key& key = keys_[k];
    return key.level == q && key.hash == hash && key.length == length && std::equal(begin, end, this->begin(k));
  });
}

// A key for the set already at arena_[start .. start + length).
index_t ComponentKeys::create(index_t q, std::uint64_t hash, std::size_t start, std::size_t length, double weight) {
  index_t k;
  if (free_keys_.empty()) {
    k = checked_index(keys_.size());
    keys_.emplace_back();
  } else {
    k = free_keys_.back();
    free_keys_.pop_back();
  }
  keys_[k] = Key{hash, start, checked_index(length), q, 0, 0, step_, weight};
  touched_.push_back(k);
  index_.insert(table_hash(hash, q), k);
  live_length_ += length;
  return k;
}

// The union is the longest old set (the base) plus the vertices it lacks, so
// a long base is not read beyond what the other classes bring.
index_t ComponentKeys::merged(index_t q, std::vector<index_t>& old_keys, std::vector<index_t>& extra, double weight) {
  if (extra.empty() && old_keys.size() == 1) return old_keys[0];  // one class, nothing brought
  index_t base = none;
  std::size_t brought = extra.size();
  for (const index_t k : old_keys) {
    if (base == none || keys_[k].length > keys_[base].length) base = k;
    brought += keys_[k].length;
  }
  const std::size_t base_length = base == none ? 0 : keys_[base].length;
  brought -= base_length;
  // What the base lacks: a short base is marked, each vertex then answered
  // (and de-duplicated) in one look; a long one is searched, which reads only
  // around the vertices brought.
  const bool marking = base_length <= 4 * brought + 16;
  if (marking) {
    if (++stamp_ == 0) {
      std::fill(mark_.begin(), mark_.end(), 0);
      stamp_ = 1;
    }
    if (base != none)
      for (const index_t* x = begin(base); x != end(base); ++x) mark_[*x] = stamp_;
  }
  const auto take = [&](index_t x) {
    if (!marking) return base == none || !std::binary_search(begin(base), end(base), x);
    if (mark_[x] == stamp_) return false;
    mark_[x] = stamp_;
    return true;
  };
  extra.erase(std::remove_if(extra.begin(), extra.end(), [&](index_t x) { return !take(x); }), extra.end());
  for (const index_t k : old_keys) {
    if (k == base) continue;
    for (const index_t* x = begin(k); x != end(k); ++x)
      if (take(*x)) extra.push_back(*x);
    tick_(keys_[k].length);
  }
  tick_(extra.size() * 8 + (marking ? base_length : 0) + 1);
  std::sort(extra.begin(), extra.end());
  if (!marking) extra.erase(std::unique(extra.begin(), extra.end()), extra.end());
  if (extra.empty() && old_keys.size() == 1) return base;

  for (const index_t k : old_keys) release(k);
  index_t key = base;
  if (!extra.empty()) {
    // The union is merged straight into the arena's tail, where a new key
    // keeps it; an existing key gives the room back.
    const std::size_t start = arena_.size();
    arena_.resize(start + base_length + extra.size());
    std::uint64_t hash = base == none ? 0 : keys_[base].hash;
    index_t* out = arena_.data() + start;
    if (base == none) {
      std::copy(extra.begin(), extra.end(), out);
    } else {
      std::merge(begin(base), end(base), extra.begin(), extra.end(), out);
    }
    for (const index_t x : extra) hash += vertex_hash_[x];
    key = find(q, hash, out, out + base_length + extra.size());
    if (key == none) {
      key = create(q, hash, start, base_length + extra.size(), weight);
    } else {
      arena_.resize(start);
    }
    tick_(base_length + extra.size());
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
  top_vertices_.insert(top_vertices_.end(), begin, end);
  top_birth_.push_back(weight);
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
  live_length_ -= key.length;
  key.level = none;
  free_keys_.push_back(k);
}

void ComponentKeys::close_step(double weight, PersistenceRecords& records) {
  dying_.clear();
  for (const index_t k : touched_) {
    if (keys_[k].count != 0) continue;
    if (keys_[k].count_before != 0) {
      dying_.push_back(k);
    } else {
      remove(k);
    }
  }
  touched_.clear();
  sort_keys(dying_);
  for (const index_t k : dying_) {
    emit(k, weight, records);
    remove(k);
  }
  if (arena_.size() > 4 * live_length_ + 65536) compact_arena();
  tick_();
}

// The counted keys and the top keys, each sorted, merged by q and vertex list.
void ComponentKeys::finish(double weight, PersistenceRecords& records) {
  std::vector<index_t> alive;
  for (index_t k = 0; k < keys_.size(); ++k)
    if (keys_[k].level != none) alive.push_back(k);
  sort_keys(alive);
  const std::vector<index_t> tops = sorted_tops();
  const auto top_row = [&](index_t t) { return top_vertices_.data() + std::size_t{t} * top_width_; };
  const auto before_top = [&](index_t k, index_t t) {
    if (keys_[k].level != top_level_) return keys_[k].level < top_level_;
    return std::lexicographical_compare(begin(k), end(k), top_row(t), top_row(t) + top_width_);
  };
  std::size_t next_top = 0;
  for (const index_t k : alive) {
    for (; next_top < tops.size() && !before_top(k, tops[next_top]); ++next_top) emit_top(tops[next_top], weight, records);
    emit(k, weight, records);
  }
  for (; next_top < tops.size(); ++next_top) emit_top(tops[next_top], weight, records);
}

// Top keys in ascending order of their vertex lists: a stable counting sort
// per column, from the last column to the first, when they outnumber the
// vertices enough to pay for the counters.
std::vector<index_t> ComponentKeys::sorted_tops() const {
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

// Sorts by level and first vertex from a compact copy, which settles most
// comparisons without reaching the keys or their sets.
void ComponentKeys::sort_keys(std::vector<index_t>& ks) {
  sortable_.clear();
  for (const index_t k : ks) sortable_.push_back(Sortable{keys_[k].level, keys_[k].length == 0 ? 0 : *begin(k), k});
  std::sort(sortable_.begin(), sortable_.end(), [&](const Sortable& a, const Sortable& b) {
    if (a.level != b.level) return a.level < b.level;
    if (a.first != b.first) return a.first < b.first;
    return less(a.key, b.key);
  });
  for (std::size_t i = 0; i < ks.size(); ++i) ks[i] = sortable_[i].key;
  tick_(ks.size());
}

// By q, then by the ascending vertex list; dense ids follow the caller's ids.
bool ComponentKeys::less(index_t a, index_t b) const {
  if (keys_[a].level != keys_[b].level) return keys_[a].level < keys_[b].level;
  return std::lexicographical_compare(begin(a), end(a), begin(b), end(b));
}

void ComponentKeys::emit(index_t k, double death, PersistenceRecords& records) const {
  tick_(keys_[k].length);
  records.q.push_back(keys_[k].level);
  append_polling(records.vertices.items, begin(k), end(k), tick_);
  records.vertices.close_group();
  records.birth.push_back(keys_[k].birth);
  records.death.push_back(death);
}

void ComponentKeys::emit_top(index_t t, double death, PersistenceRecords& records) const {
  tick_(top_width_);
  records.q.push_back(top_level_);
  const index_t* row = top_vertices_.data() + t * top_width_;
  append_polling(records.vertices.items, row, row + top_width_, tick_);
  records.vertices.close_group();
  records.birth.push_back(top_birth_[t]);
  records.death.push_back(death);
}

// Dead keys leave their sets behind in the arena; once the garbage outweighs
// the live sets a few times over, slide the live ones down in place, in the
// order they lie in.
void ComponentKeys::compact_arena() {
  std::vector<index_t> live;
  for (index_t k = 0; k < keys_.size(); ++k)
    if (keys_[k].level != none) live.push_back(k);
  std::sort(live.begin(), live.end(), [&](index_t a, index_t b) { return keys_[a].start < keys_[b].start; });
  std::size_t fill = 0;
  for (const index_t k : live) {
    std::copy(begin(k), end(k), arena_.begin() + static_cast<std::ptrdiff_t>(fill));
    keys_[k].start = fill;
    fill += keys_[k].length;
  }
  arena_.resize(fill);
  tick_(keys_.size() + fill);
}

}  // namespace korvane
