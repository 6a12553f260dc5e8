// A registry of distinct cliques: ids 0, 1, 2, ... in order of first sight,
// the vertex lists stored flat, and a hash index that finds a clique again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "core.hpp"
#include "hash_index.hpp"

namespace korvane {

// Clique `id` is group `id` of cliques(). The caller hashes a clique's vertex
// set, equal sets to equal hashes, and hands the vertices over as
// vertex(0), ..., vertex(length - 1), in the order they are stored in.
template <class T>
class CliqueRegistry {
 public:
  std::size_t size() const { return cliques_.size(); }
  const Groups<T>& cliques() const { return cliques_; }
  const T* begin(index_t id) const { return cliques_.begin(id); }
  const T* end(index_t id) const { return cliques_.end(id); }
  // Hands over the vertex lists, flat in the order of the ids.
  std::vector<T> take_items() { return std::move(cliques_.items); }

  // The id of the clique in `index`, which holds ids of this registry under
  // the hashes given here, or none.
  template <class VertexAt>
  index_t find(const HashIndex& index, std::uint64_t hash, std::size_t length, VertexAt&& vertex) const {
    return index.find(hash, [&](index_t id) {
      if (cliques_.length(id) != length) return false;
      const T* stored = cliques_.begin(id);
      for (std::size_t j = 0; j < length; ++j)
        if (stored[j] != vertex(j)) return false;
      return true;
    });
  }
  template <class VertexAt>
  index_t find(std::uint64_t hash, std::size_t length, VertexAt&& vertex) const {
    return find(index_, hash, length, vertex);
  }

  // Stores a clique not stored yet; returns its id.
  template <class VertexAt>
  index_t add(std::uint64_t hash, std::size_t length, VertexAt&& vertex) {
    const index_t id = checked_index(cliques_.size());
    for (std::size_t j = 0; j < length; ++j) cliques_.items.push_back(vertex(j));
    cliques_.close_group();
    index_.insert(hash, id);
    return id;
  }

 private:
  Groups<T> cliques_;
  HashIndex index_;
};

}  // namespace korvane
