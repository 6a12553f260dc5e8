// The argument converters: a generic reader of sequences and numbers through
// the Python C API, with the PyPy route tried first where it exists.
#include "arguments.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "int_buffer.hpp"
#include "pypy_route.hpp"
#include "vertex_index.hpp"

namespace korvane::binding {
namespace {

// Raises TypeError "'TYPE' object cannot be converted to 'TARGET'".
void raise_not_convertible(PyObject* object, const char* target) {
  PyRef qualname(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(object)), "__qualname__"));
  if (qualname && PyUnicode_Check(qualname.get())) {
    PyErr_Format(PyExc_TypeError, "'%U' object cannot be converted to '%s'", qualname.get(), target);
  } else {
    PyErr_Clear();
    PyErr_Format(PyExc_TypeError, "'<failed to extract type name>' object cannot be converted to '%s'", target);
  }
}

// A length hint only sizes the first allocation; an unbounded one from a
// sequence whose __len__ overstates its contents must not fail the call.
constexpr std::size_t max_reserved_items = std::size_t{1} << 20;

template <class T>
void reserve_more(std::vector<T>& items, std::size_t extra) {
  const std::size_t wanted = items.size() + std::min(extra, max_reserved_items);
  if (wanted > items.capacity()) items.reserve(std::max(wanted, 2 * items.capacity()));
}

// Applies `convert_item` to each element of a sequence argument (never a str),
// reading it by iteration. `on_size_hint` receives the sequence's length, or 0
// when it has none. Stops at the first failure, leaving its exception set.
template <class OnSizeHint, class ConvertItem>
bool for_each_item(PyObject* sequence, Ticker& tick, OnSizeHint&& on_size_hint, ConvertItem&& convert_item) {
  if (PyUnicode_Check(sequence)) {
    PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`");
    return false;
  }
  if (!PySequence_Check(sequence)) {
    raise_not_convertible(sequence, "Sequence");
    return false;
  }
  const Py_ssize_t size = PySequence_Size(sequence);
  if (size < 0) PyErr_Clear();
  on_size_hint(size < 0 ? std::size_t{0} : static_cast<std::size_t>(size));

  PyRef iterator(PyObject_GetIter(sequence));
  if (!iterator) return false;
  while (PyRef item{PyIter_Next(iterator.get())}) {
    tick(object_work);
    if (!convert_item(item.get())) return false;
  }
  return PyErr_Occurred() == nullptr;
}

// A non-negative int that fits in 64 bits (a vertex id, a cap); other objects
// go through __index__.
bool convert_unsigned(PyObject* object, std::uint64_t& value) {
  PyRef index;
  if (!PyLong_Check(object)) {
    index = PyRef(PyNumber_Index(object));
    if (!index) return false;
    object = index.get();
  }
  const unsigned long long converted = PyLong_AsUnsignedLongLong(object);
  if (converted == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
  value = converted;
  return true;
}

// The items of a tuple of exactly `length` elements, borrowed.
template <std::size_t length>
bool unpack_tuple(PyObject* object, std::array<PyObject*, length>& items) {
  if (!PyTuple_Check(object)) {
    raise_not_convertible(object, "PyTuple");
    return false;
  }
  const Py_ssize_t actual = PyTuple_Size(object);
  if (actual != static_cast<Py_ssize_t>(length)) {
    PyErr_Format(PyExc_ValueError, "expected tuple of length %zu, but got tuple of length %zd", length, actual);
    return false;
  }
  for (std::size_t i = 0; i < length; ++i) {
    items[i] = PyTuple_GetItem(object, static_cast<Py_ssize_t>(i));
    if (items[i] == nullptr) return false;
  }
  return true;
}

// The two edge shapes: the tuple's width, its fields, and edge i from the PyPy
// route's flat words (ends 2i and 2i + 1, weight i).
template <class EdgeShape>
struct EdgeFields;

template <>
struct EdgeFields<Edge> {
  static constexpr std::size_t width = 2;
  static bool convert(const std::array<PyObject*, width>& fields, Edge& edge) {
    return convert_unsigned(fields[0], edge.first) && convert_unsigned(fields[1], edge.second);
  }
  static Edge from_words(const std::vector<vertex_t>& ends, const std::vector<double>&, std::size_t i) {
    return {ends[2 * i], ends[2 * i + 1]};
  }
};

template <>
struct EdgeFields<WeightedEdge> {
  static constexpr std::size_t width = 3;
  static bool convert(const std::array<PyObject*, width>& fields, WeightedEdge& edge) {
    return convert_unsigned(fields[0], edge.u) && convert_unsigned(fields[1], edge.v) &&
           convert_weight(fields[2], edge.weight);
  }
  static WeightedEdge from_words(const std::vector<vertex_t>& ends, const std::vector<double>& weights,
                                 std::size_t i) {
    return {ends[2 * i], ends[2 * i + 1], weights[i]};
  }
};

// A sequence of edge tuples, of either shape.
template <class EdgeShape>
bool convert_edges(PyObject* object, std::vector<EdgeShape>& edges, Ticker& tick) {
  using Fields = EdgeFields<EdgeShape>;
  const auto read = [&](PyObject* words) {
    std::vector<vertex_t> ends;
    std::vector<double> weights;
    if (!read_words(PyTuple_GetItem(words, 0), ends) || !read_words(PyTuple_GetItem(words, 1), weights)) return false;
    edges.reserve(ends.size() / 2);
    for (std::size_t i = 0; i < ends.size() / 2; ++i) edges.push_back(Fields::from_words(ends, weights, i));
    return true;
  };
  const Flattened flat =
      flatten(pypy.flatten_edges, read, "(On)", object, static_cast<Py_ssize_t>(Fields::width));
  if (flat != Flattened::declined) return flat == Flattened::converted;
  [[maybe_unused]] const CollectorPaused paused;
  return for_each_item(
      object, tick, [&](std::size_t count) { reserve_more(edges, count); },
      [&](PyObject* item) {
        std::array<PyObject*, Fields::width> fields{};
        EdgeShape edge{};
        if (!unpack_tuple(item, fields) || !Fields::convert(fields, edge)) return false;
        edges.push_back(edge);
        return true;
      });
}

}  // namespace

bool convert_weight(PyObject* object, double& weight) {
  if (PyFloat_CheckExact(object)) {
    weight = PyFloat_AS_DOUBLE(object);
    return true;
  }
  weight = PyFloat_AsDouble(object);
  return !(weight == -1.0 && PyErr_Occurred());
}

bool convert_simplices(PyObject* object, Groups<vertex_t>& simplices, Ticker& tick) {
  const auto read = [&](PyObject* words) {
    return read_words(PyTuple_GetItem(words, 0), simplices.items) &&
           read_words(PyTuple_GetItem(words, 1), simplices.starts);
  };
  const Flattened flat = flatten(pypy.flatten_simplices, read, "(O)", object);
  if (flat != Flattened::declined) return flat == Flattened::converted;
  [[maybe_unused]] const CollectorPaused paused;
  return for_each_item(
      object, tick, [&](std::size_t count) { reserve_more(simplices.starts, count); },
      [&](PyObject* simplex) {
        const bool converted = for_each_item(
            simplex, tick, [&](std::size_t count) { reserve_more(simplices.items, count); },
            [&](PyObject* vertex) {
              simplices.items.push_back(0);
              return convert_unsigned(vertex, simplices.items.back());
            });
        simplices.close_group();
        return converted;
      });
}

bool convert_edge_tuples(PyObject* object, std::vector<Edge>& edges, Ticker& tick) {
  return convert_edges(object, edges, tick);
}

bool convert_edge_tuples(PyObject* object, std::vector<WeightedEdge>& edges, Ticker& tick) {
  return convert_edges(object, edges, tick);
}

namespace {

// A sequence of non-negative ints: an integer array through its buffer (on
// PyPy, a list or tuple through the route), else item by item. An exact list
// of exact ints, the common case, is read in place; its length is read again
// at every item, since converting an item of another type may run code that
// changes the list.
bool convert_ids(PyObject* object, std::vector<vertex_t>& ids, Ticker& tick) {
  const auto read = [&](PyObject* words) { return read_words(words, ids); };
  const Flattened flat = flatten(pypy.flatten_ints, read, "(O)", object);
  if (flat != Flattened::declined) return flat == Flattened::converted;
  const BufferRead buffer = read_int_buffer(object, ids);
  if (buffer != BufferRead::declined) return buffer == BufferRead::read;
  ids.clear();
  if (PyList_CheckExact(object)) {
    ids.reserve(static_cast<std::size_t>(PyList_GET_SIZE(object)));
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(object); ++i) {
      PyObject* item = PyList_GET_ITEM(object, i);
      std::uint64_t id = 0;
      if (PyLong_CheckExact(item)) {
        id = PyLong_AsUnsignedLongLong(item);
        if (id == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
      } else {
        Py_INCREF(item);
        const PyRef held(item);
        if (!convert_unsigned(item, id)) return false;
      }
      ids.push_back(id);
      if ((i & 0xfff) == 0) tick(object_work);
    }
    return true;
  }
  [[maybe_unused]] const CollectorPaused paused;
  return for_each_item(
      object, tick, [&](std::size_t count) { reserve_more(ids, count); },
      [&](PyObject* item) {
        ids.push_back(0);
        return convert_unsigned(item, ids.back());
      });
}

}  // namespace

bool convert_adjacency(PyObject* indptr, PyObject* indices, std::vector<vertex_t>& offsets,
                       std::vector<vertex_t>& neighbours, Ticker& tick) {
  if (!convert_ids(indptr, offsets, tick) || !convert_ids(indices, neighbours, tick)) return false;
  if (offsets.empty()) {
    PyErr_SetString(PyExc_ValueError, "indptr is empty: it holds one offset per vertex and one more");
    return false;
  }
  const std::size_t n = offsets.size() - 1;
  if (offsets[0] != 0 || offsets[n] != neighbours.size() || !std::is_sorted(offsets.begin(), offsets.end())) {
    PyErr_SetString(PyExc_ValueError, "indptr must start at 0, never decrease, and end at len(indices)");
    return false;
  }
  checked_index(n);
  for (std::size_t j = 0; j < neighbours.size(); ++j) {
    if (neighbours[j] >= n) {
      PyErr_Format(PyExc_ValueError, "indices[%zu] is %llu, which is no vertex: there are %zu", j,
                   static_cast<unsigned long long>(neighbours[j]), n);
      return false;
    }
  }
  tick(neighbours.size());
  return true;
}

bool convert_size_cap(PyObject* object, std::optional<std::uint64_t>& size_cap) {
  size_cap.reset();
  if (object == Py_None) return true;
  std::uint64_t value = 0;
  if (!convert_unsigned(object, value)) return false;
  size_cap = std::max<std::uint64_t>(value, 1);
  return true;
}

bool convert_level(PyObject* object, std::int64_t& value) {
  const PyRef index(PyNumber_Index(object));
  if (!index) return false;
  const long long converted = PyLong_AsLongLong(index.get());
  if (converted == -1 && PyErr_Occurred()) return false;
  value = converted;
  return true;
}

bool convert_clique_size(PyObject* object, std::size_t& k) {
  const PyRef index(PyNumber_Index(object));
  if (!index) return false;
  int overflow = 0;
  const long long value = PyLong_AsLongLongAndOverflow(index.get(), &overflow);
  if (value == -1 && PyErr_Occurred()) return false;
  if (overflow < 0 || (overflow == 0 && value < 2)) {
    PyErr_Format(PyExc_ValueError, "k must be at least 2, not %R", index.get());
    return false;
  }
  k = overflow > 0 ? SIZE_MAX : static_cast<std::size_t>(value);
  return true;
}

bool convert_ties(PyObject* object, bool& grouped) {
  grouped = false;
  if (object == nullptr) return true;
  if (!PyUnicode_Check(object)) {
    PyErr_Format(PyExc_TypeError, "ties must be 'separate' or 'grouped', not %.100s", Py_TYPE(object)->tp_name);
    return false;
  }
  grouped = PyUnicode_CompareWithASCIIString(object, "grouped") == 0;
  if (grouped || PyUnicode_CompareWithASCIIString(object, "separate") == 0) return true;
  PyErr_Format(PyExc_ValueError, "ties must be 'separate' or 'grouped', not %R", object);
  return false;
}

bool convert_tree(PyObject* object, CommunityTree& tree, Ticker& tick) {
  [[maybe_unused]] const CollectorPaused paused;
  std::vector<vertex_t> added;  // the caller's ids, numbered densely at the end
  const bool converted = for_each_item(
      object, tick, [&](std::size_t count) { reserve_more(tree.q, count); },
      [&](PyObject* item) {
        std::array<PyObject*, 5> fields{};
        std::int64_t q = 0;
        double birth = 0, death = 0;
        if (!unpack_tuple(item, fields) || !convert_level(fields[0], q) || !convert_weight(fields[1], birth) ||
            !convert_weight(fields[2], death))
          return false;
        const std::size_t record = tree.size();
        const bool parts_converted =
            for_each_item(
                fields[3], tick, [](std::size_t) {},
                [&](PyObject* parent) {
                  std::uint64_t p = 0;
                  if (!convert_unsigned(parent, p)) return false;
                  if (p >= record) {
                    PyErr_Format(PyExc_ValueError, "record %zu names parent %llu, which does not come before it",
                                 record, static_cast<unsigned long long>(p));
                    return false;
                  }
                  tree.parents.items.push_back(static_cast<index_t>(p));
                  return true;
                }) &&
            for_each_item(
                fields[4], tick, [](std::size_t) {},
                [&](PyObject* vertex) {
                  added.push_back(0);
                  return convert_unsigned(vertex, added.back());
                });
        tree.parents.close_group();
        tree.added.starts.push_back(added.size());
        tree.q.push_back(q);
        tree.birth.push_back(birth);
        tree.death.push_back(death);
        checked_index(tree.size());
        return parts_converted;
      });
  if (!converted) return false;
  // Dense ids in the order of the caller's, so that ascending stays ascending.
  tree.added.items = number_ascending(added.size(), [&](std::size_t i) { return added[i]; }, tree.ids);
  return true;
}

}  // namespace korvane::binding
