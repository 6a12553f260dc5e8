// Reading one level out of its union-find: the classes listed in a fixed
// order, and the vertices that each class covers.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

#include "core.hpp"
#include "dsu.hpp"
#include "graph.hpp"

namespace korvane {

// Lists the classes of a Dsu over the ids present at a level: classes in
// ascending order of their smallest id, each listing its ids ascending, so the
// listing depends on the partition alone. One lister serves all the levels of
// one Dsu: a root's class number holds while its stamp is the current listing's.
class ClassLister {
 public:
  explicit ClassLister(index_t id_count) : class_of_(id_count), stamp_(id_count, 0) {}

  // The classes of the ascending ids `present`.
  Groups<index_t> list(const std::vector<index_t>& present, Dsu& classes) {
    return list(present.size(), [&](std::size_t k) { return present[k]; }, classes);
  }
  // The classes of all the ids 0 .. classes.size()-1.
  Groups<index_t> list_all(Dsu& classes) {
    return list(classes.size(), [](std::size_t k) { return static_cast<index_t>(k); }, classes);
  }

 private:
  // Numbers the classes as their first id is met, counts their ids, then places them.
  template <class IdAt>
  Groups<index_t> list(std::size_t count, IdAt&& id_at, Dsu& classes) {
    ++listing_;
    Groups<index_t> level;
    root_of_.resize(count);
    for (std::size_t k = 0; k < count; ++k) {
      const index_t root = root_of_[k] = classes.find(id_at(k));
      if (stamp_[root] != listing_) {
        stamp_[root] = listing_;
        class_of_[root] = level.size();
        level.starts.push_back(0);
      }
      ++level.starts[class_of_[root] + 1];
    }
    for (std::size_t c = 1; c < level.starts.size(); ++c) level.starts[c] += level.starts[c - 1];
    level.items.resize(count);
    fill_.assign(level.starts.begin(), level.starts.end() - 1);
    for (std::size_t k = 0; k < count; ++k) level.items[fill_[class_of_[root_of_[k]]]++] = id_at(k);
    return level;
  }

  std::vector<std::size_t> class_of_;  // by root
  std::vector<std::size_t> stamp_;     // by root: the listing that numbered it
  std::size_t listing_ = 0;
  std::vector<index_t> root_of_;
  std::vector<std::size_t> fill_;
};

// The (non-empty) groups of `dense` in ascending lexicographic order. Dense
// order is the caller's order, so this is also the order of the caller's lists.
Groups<index_t> sorted_groups(const Groups<index_t>& dense);

// The components of a level: class c covers the union, over its members m, of
// the dense vertex range vertices_of(m) returns (a pair of pointers; m points
// at the member in `classes`). Each component lists dense ids ascending, and
// the components come in ascending lexicographic order.
template <class VerticesOf>
Groups<index_t> class_vertices(const Graph& graph, const Groups<index_t>& classes, VerticesOf&& vertices_of,
                                Ticker& tick) {
  std::vector<unsigned char> seen(graph.vertex_count(), 0);
  Groups<index_t> dense;
  for (std::size_t c = 0; c < classes.size(); ++c) {
    const std::size_t start = dense.items.size();
    for (const index_t* m = classes.begin(c); m != classes.end(c); ++m) {
      const auto [begin, end] = vertices_of(m);
      tick(static_cast<std::size_t>(end - begin));
      for (const index_t* v = begin; v != end; ++v) {
        if (seen[*v] == 0) {
          seen[*v] = 1;
          dense.items.push_back(*v);
        }
      }
    }
    const auto first = dense.items.begin() + static_cast<std::ptrdiff_t>(start);
    for (auto v = first; v != dense.items.end(); ++v) seen[*v] = 0;
    std::sort(first, dense.items.end());
    dense.close_group();
  }
  return sorted_groups(dense);
}

}  // namespace korvane
