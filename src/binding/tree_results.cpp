// The community tree and the answers of its queries as Python objects.
#include "result_parts.hpp"
#include "results.hpp"

namespace korvane::binding {
namespace {

PyRef build_ids(const vertex_t* begin, const vertex_t* end, Ticker& tick) {
  return build_list(static_cast<std::size_t>(end - begin), tick,
                    [&](std::size_t i) { return PyLong_FromUnsignedLongLong(begin[i]); });
}

}  // namespace

PyRef build_tree(const CommunityTree& tree, Ticker& tick) {
  [[maybe_unused]] const CollectorPaused paused;
  SharedInts<DenseVertexSlots> vertices(tree.ids.size(), DenseVertexSlots{tree.ids});
  return build_list(tree.size(), tick, [&](std::size_t r) {
    PyRef parents(PyTuple_New(static_cast<Py_ssize_t>(tree.parents.length(r))));
    if (!parents) return static_cast<PyObject*>(nullptr);
    for (std::size_t i = 0; i < tree.parents.length(r); ++i)
      if (!set_tuple_item(parents.get(), static_cast<Py_ssize_t>(i), PyLong_FromSize_t(tree.parents.begin(r)[i])))
        return static_cast<PyObject*>(nullptr);
    const index_t* added = tree.added.begin(r);
    PyRef record(PyTuple_New(5));
    if (!record || !set_tuple_item(record.get(), 0, PyLong_FromLongLong(tree.q[r])) ||
        !set_tuple_item(record.get(), 1, PyFloat_FromDouble(tree.birth[r])) ||
        !set_tuple_item(record.get(), 2, PyFloat_FromDouble(tree.death[r])) ||
        !set_tuple_item(record.get(), 3, parents.release()) ||
        !set_tuple_item(record.get(), 4,
                        build_list(tree.added.length(r), tick, [&](std::size_t i) { return vertices.get(added[i]); })
                            .release()))
      return static_cast<PyObject*>(nullptr);
    return record.release();
  });
}

PyRef build_vertex_list(const std::vector<vertex_t>& vertices, Ticker& tick) {
  return build_ids(vertices.data(), vertices.data() + vertices.size(), tick);
}

PyRef build_indexed_sets(const std::vector<index_t>& records, const Groups<vertex_t>& sets, Ticker& tick) {
  [[maybe_unused]] const CollectorPaused paused;
  return build_list(records.size(), tick, [&](std::size_t i) {
    PyRef pair(PyTuple_New(2));
    if (!pair || !set_tuple_item(pair.get(), 0, PyLong_FromSize_t(records[i])) ||
        !set_tuple_item(pair.get(), 1, build_ids(sets.begin(i), sets.end(i), tick).release()))
      return static_cast<PyObject*>(nullptr);
    return pair.release();
  });
}

PyRef build_tree_records(const TreeRecords& tree, const Groups<vertex_t>& sets, Ticker& tick) {
  [[maybe_unused]] const CollectorPaused paused;
  return build_list(tree.size(), tick, [&](std::size_t r) {
    PyRef key(PyTuple_New(2));
    if (!key || !set_tuple_item(key.get(), 0, PyLong_FromLongLong(tree.q[r])) ||
        !set_tuple_item(key.get(), 1, build_ids(sets.begin(r), sets.end(r), tick).release()))
      return static_cast<PyObject*>(nullptr);
    PyRef record(PyTuple_New(3));
    if (!record || !set_tuple_item(record.get(), 0, key.release()) ||
        !set_tuple_item(record.get(), 1, PyFloat_FromDouble(tree.birth[r])) ||
        !set_tuple_item(record.get(), 2, PyFloat_FromDouble(tree.death[r])))
      return static_cast<PyObject*>(nullptr);
    return record.release();
  });
}

}  // namespace korvane::binding
