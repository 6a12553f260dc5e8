// The community tree, the answers of its queries, and other lists of vertex
// lists as Python objects.
#include "result_parts.hpp"
#include "results.hpp"

namespace korvane::binding {
namespace {

using Vertices = SharedInts<DenseVertexSlots>;

PyRef build_ids(const index_t* begin, const index_t* end, Vertices& vertices, Ticker& tick) {
  return build_list(static_cast<std::size_t>(end - begin), tick, [&](std::size_t i) { return vertices.get(begin[i]); });
}

}  // namespace

PyRef build_tree(const CommunityTree& tree, Ticker& tick) {
  [[maybe_unused]] const CollectorPaused paused;
  Vertices vertices(tree.ids.size(), DenseVertexSlots{tree.ids});
  return build_list(tree.size(), tick, [&](std::size_t r) {
    PyRef parents(PyTuple_New(static_cast<Py_ssize_t>(tree.parents.length(r))));
    if (!parents) return static_cast<PyObject*>(nullptr);
    for (std::size_t i = 0; i < tree.parents.length(r); ++i)
      if (!set_tuple_item(parents.get(), static_cast<Py_ssize_t>(i), PyLong_FromSize_t(tree.parents.begin(r)[i])))
        return static_cast<PyObject*>(nullptr);
    PyRef record(PyTuple_New(5));
    if (!record || !set_tuple_item(record.get(), 0, PyLong_FromLongLong(tree.q[r])) ||
        !set_tuple_item(record.get(), 1, PyFloat_FromDouble(tree.birth[r])) ||
        !set_tuple_item(record.get(), 2, PyFloat_FromDouble(tree.death[r])) ||
        !set_tuple_item(record.get(), 3, parents.release()) ||
        !set_tuple_item(record.get(), 4, build_ids(tree.added.begin(r), tree.added.end(r), vertices, tick).release()))
      return static_cast<PyObject*>(nullptr);
    return record.release();
  });
}

PyRef build_vertex_groups(const Groups<index_t>& groups, const std::vector<vertex_t>& ids, Ticker& tick) {
  [[maybe_unused]] const CollectorPaused paused;
  Vertices numbers(ids.size(), DenseVertexSlots{ids});
  return build_list(groups.size(), tick,
                    [&](std::size_t g) { return build_ids(groups.begin(g), groups.end(g), numbers, tick).release(); });
}

PyRef build_vertex_list(const std::vector<index_t>& vertices, const std::vector<vertex_t>& ids, Ticker& tick) {
  Vertices numbers(ids.size(), DenseVertexSlots{ids});
  return build_ids(vertices.data(), vertices.data() + vertices.size(), numbers, tick);
}

PyRef build_indexed_sets(const std::vector<index_t>& records, const Groups<index_t>& sets,
                         const std::vector<vertex_t>& ids, Ticker& tick) {
  [[maybe_unused]] const CollectorPaused paused;
  Vertices vertices(ids.size(), DenseVertexSlots{ids});
  return build_list(records.size(), tick, [&](std::size_t i) {
    PyRef pair(PyTuple_New(2));
    if (!pair || !set_tuple_item(pair.get(), 0, PyLong_FromSize_t(records[i])) ||
        !set_tuple_item(pair.get(), 1, build_ids(sets.begin(i), sets.end(i), vertices, tick).release()))
      return static_cast<PyObject*>(nullptr);
    return pair.release();
  });
}

PyRef build_tree_records(const CommunityTree& tree, const Groups<index_t>& sets, Ticker& tick) {
  [[maybe_unused]] const CollectorPaused paused;
  Vertices vertices(tree.ids.size(), DenseVertexSlots{tree.ids});
  return build_list(tree.size(), tick, [&](std::size_t r) {
    return build_record(tree.q[r], build_ids(sets.begin(r), sets.end(r), vertices, tick), tree.birth[r],
                        tree.death[r]);
  });
}

}  // namespace korvane::binding
