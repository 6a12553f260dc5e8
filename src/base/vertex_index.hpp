// Dense ids for a caller's vertex ids: in order of first appearance, as they
// stream in, or in ascending order of the ids, for a list known in advance.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "core.hpp"
#include "hash_index.hpp"

namespace korvane {

class VertexIndex {
 public:
  explicit VertexIndex(std::size_t expected = 0) {
    index_.reserve(expected);
    vertices_.reserve(expected);
  }

  // The dense id of `vertex`, giving it the next free id if it is new.
  index_t insert(vertex_t vertex) {
    // scramble is a bijection: an equal hash is the same vertex, so a lookup
    // never reads the vertex list.
    const std::uint64_t hash = scramble(vertex);
    const index_t found = index_.find(hash, [](index_t) { return true; });
    if (found != none) return found;
    const index_t id = checked_index(vertices_.size());
    index_.insert(hash, id);
    vertices_.push_back(vertex);
    return id;
  }

  std::size_t size() const { return vertices_.size(); }

 private:
  HashIndex index_;
  std::vector<vertex_t> vertices_;  // vertices_[id] is the caller's id of dense id `id`
};

// Numbers the `count` values value(0), value(1), ... in ascending order: `ids`
// receives the distinct values ascending, and entry i of the result is the
// dense id of value(i), its position in `ids`.
template <class Value>
std::vector<index_t> number_ascending(std::size_t count, Value&& value, std::vector<vertex_t>& ids) {
  std::vector<index_t> dense(count);
  ids.clear();
  vertex_t largest = 0;
  for (std::size_t i = 0; i < count; ++i) largest = std::max(largest, value(i));
  if (largest < 4 * count + 64) {
    // Values in a small range: number them through a table indexed by value.
    std::vector<index_t> dense_of(static_cast<std::size_t>(largest) + 1, none);
    for (std::size_t i = 0; i < count; ++i) dense_of[value(i)] = 0;
    for (std::size_t id = 0; id < dense_of.size(); ++id) {
      if (dense_of[id] == none) continue;
      dense_of[id] = checked_index(ids.size());
      ids.push_back(id);
    }
    for (std::size_t i = 0; i < count; ++i) dense[i] = dense_of[value(i)];
    return dense;
  }
  // Otherwise sort the values, each with its position.
  std::vector<std::pair<vertex_t, std::size_t>> sorted(count);
  for (std::size_t i = 0; i < count; ++i) sorted[i] = {value(i), i};
  Ticker tick;
  std::sort(sorted.begin(), sorted.end(), [&tick](const auto& a, const auto& b) {
    tick();
    return a < b;
  });
  for (const auto& [id, i] : sorted) {
    if (ids.empty() || ids.back() != id) ids.push_back(id);
    dense[i] = checked_index(ids.size() - 1);
  }
  return dense;
}

}  // namespace korvane
