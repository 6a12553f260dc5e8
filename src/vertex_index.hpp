// Dense ids for a caller's vertex ids, in order of first appearance.
#pragma once

#include "core.hpp"

namespace korvane {

// Open addressing with linear probing over a power-of-two table kept at most
// half full; the keys are scrambled (splitmix64) so that clustered or strided
// ids spread evenly.
class VertexIndex {
 public:
  explicit VertexIndex(std::size_t expected = 0) { rehash(table_size_for(expected)); }

  // The dense id of `vertex`, giving it the next free id if it is new.
  index_t insert(vertex_t vertex) {
    std::size_t slot = home(vertex);
    while (ids_[slot] != empty) {
      if (vertices_[ids_[slot]] == vertex) return ids_[slot];
      slot = (slot + 1) & mask_;
    }
    const index_t id = checked_index(vertices_.size());
    if (id == empty) throw std::length_error("more than 2**32-2 distinct vertices in one call");
    ids_[slot] = id;
    vertices_.push_back(vertex);
    if (2 * vertices_.size() > ids_.size()) rehash(2 * ids_.size());
    return id;
  }

  // The dense id of `vertex`, or `absent` if it has none.
  index_t find(vertex_t vertex) const {
    for (std::size_t slot = home(vertex); ids_[slot] != empty; slot = (slot + 1) & mask_)
      if (vertices_[ids_[slot]] == vertex) return ids_[slot];
    return absent;
  }

  static constexpr index_t absent = std::numeric_limits<index_t>::max();

  std::size_t size() const { return vertices_.size(); }
  // vertices()[id] is the caller's id of dense id `id`.
  const std::vector<vertex_t>& vertices() const { return vertices_; }

 private:
  static constexpr index_t empty = absent;

  static std::size_t table_size_for(std::size_t expected) {
    std::size_t size = 16;
    while (size < 2 * expected) size *= 2;
    return size;
  }

  std::size_t home(vertex_t vertex) const {
    std::uint64_t x = vertex + 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return static_cast<std::size_t>(x ^ (x >> 31)) & mask_;
  }

  void rehash(std::size_t size) {
    ids_.assign(size, empty);
    mask_ = size - 1;
    for (index_t id = 0; id < vertices_.size(); ++id) {
      std::size_t slot = home(vertices_[id]);
      while (ids_[slot] != empty) slot = (slot + 1) & mask_;
      ids_[slot] = id;
    }
  }

  std::vector<index_t> ids_;
  std::vector<vertex_t> vertices_;
  std::size_t mask_ = 0;
};

}  // namespace korvane
