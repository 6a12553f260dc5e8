// Dense ids for a caller's vertex ids, in order of first appearance.
#pragma once

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
    const std::uint64_t hash = scramble(vertex);
    const index_t found = index_.find(hash, [&](index_t id) { return vertices_[id] == vertex; });
    if (found != HashIndex::none) return found;
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

}  // namespace korvane
