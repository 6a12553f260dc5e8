// The vertices around one start vertex under local ids 0, 1, 2, ..., so that
// adjacency among them fits bitset rows of a few words.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

#include "core.hpp"

namespace korvane {

// The clique searches take the locals from the start vertex's neighbours (a
// clique through the start lies among them) and read adjacency among the
// locals from neighbour lists. It serves any search that has candidate
// vertices and their neighbour lists, whatever graph those come from.
class LocalNeighbourhood {
 public:
  explicit LocalNeighbourhood(std::size_t vertex_count) : local_of_(vertex_count, none) {}

  // Forgets the locals, ready for the next start vertex.
  void clear() {
    for (const index_t g : global_of_) local_of_[g] = none;
    global_of_.clear();
  }
  // Gives vertex g (not yet a local) the next local id.
  void add(index_t g) {
    local_of_[g] = static_cast<index_t>(global_of_.size());
    global_of_.push_back(g);
  }
  void add(const index_t* begin, const index_t* end) {
    for (const index_t* g = begin; g != end; ++g) add(*g);
  }
  template <class Keep>
  void add_if(const index_t* begin, const index_t* end, Keep&& keep) {
    for (const index_t* g = begin; g != end; ++g)
      if (keep(*g)) add(*g);
  }

  std::size_t count() const { return global_of_.size(); }
  index_t global(std::size_t l) const { return global_of_[l]; }

  // Calls link(i, l) for each local i below `first` and every local l in the
  // ascending neighbour list that list_of(global(i)) gives as a pair of
  // pointers: the shorter side is walked, the list itself, or the locals,
  // each probed in the list by binary search.
  template <class ListOf, class Link>
  void for_each_link(std::size_t first, ListOf&& list_of, Link&& link, Ticker& tick) const {
    for (std::size_t i = 0; i < first; ++i) {
      const auto [begin, end] = list_of(global_of_[i]);
      const std::size_t length = static_cast<std::size_t>(end - begin);
      if (length <= 8 * count()) {
        for (const index_t* u = begin; u != end; ++u)
          if (local_of_[*u] != none) link(i, static_cast<std::size_t>(local_of_[*u]));
        tick(length);
      } else {
        for (std::size_t l = 0; l < count(); ++l)
          if (std::binary_search(begin, end, global_of_[l])) link(i, l);
        tick(8 * count());
      }
    }
  }

 private:
  std::vector<index_t> local_of_;   // global id -> local id, or none
  std::vector<index_t> global_of_;  // local id -> global id
};

}  // namespace korvane
