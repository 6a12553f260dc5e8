// adjacency_rows: a mapping from each node to its neighbours (a graph
// library's dict of dicts) as node labels and compressed sparse rows.
//
// Looking a neighbour up in a dict of the labels hashes the neighbour, which
// reads the label object itself: on a large graph with tuple or string
// labels, a cache miss or more per adjacency entry, most of the conversion's
// time. But the neighbours a graph library stores are, almost always, the very
// objects that are its node keys. So each neighbour is first looked up by its
// address in a table of the labels' addresses, which never touches the
// object; only one that is not a label by identity is looked up by equality,
// in a dict of the labels, as Python would.
#include "adjacency_rows.hpp"

#include <cstdint>
#include <vector>

#include "hash_index.hpp"
#include "result_parts.hpp"

namespace korvane::binding {
namespace {

// Open addressing over the labels' addresses, at most half full.
class AddressTable {
 public:
  explicit AddressTable(std::size_t count) {
    std::size_t size = 16;
    while (size < 2 * count) size *= 2;
    slots_.assign(size, Slot{nullptr, none});
    mask_ = size - 1;
  }
  void add(PyObject* object, index_t id) {
    std::size_t at = position(object);
    while (slots_[at].object != nullptr && slots_[at].object != object) at = (at + 1) & mask_;
    if (slots_[at].object == nullptr) slots_[at] = Slot{object, id};
  }
  index_t find(PyObject* object) const {
    for (std::size_t at = position(object);; at = (at + 1) & mask_) {
      if (slots_[at].object == object) return slots_[at].id;
      if (slots_[at].object == nullptr) return none;
    }
  }

 private:
  struct Slot {
    PyObject* object;
    index_t id;
  };
  std::size_t position(PyObject* object) const {
    return static_cast<std::size_t>(scramble(reinterpret_cast<std::uintptr_t>(object))) & mask_;
  }
  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
};

// Reads the neighbours of one node into `indices`: by address where it can,
// else through a dict of the labels, made the first time it is needed. The
// list of labels holds every label, so an address in the table stays valid
// whatever runs meanwhile.
class NeighbourReader {
 public:
  NeighbourReader(const AddressTable& addresses, PyObject* labels, const std::vector<PyRef>& ids,
                  std::vector<index_t>& indices)
      : addresses_(addresses), labels_(labels), ids_(ids), indices_(indices) {}

  bool read(PyObject* neighbours, Ticker& tick) {
    if (PyDict_CheckExact(neighbours)) {
      // No code runs between two steps unless a neighbour needs the dict of
      // labels; the walk then holds the neighbours and the neighbour, and a
      // dict that changes meanwhile stops it as it would stop a Python loop.
      const PyRef held((Py_INCREF(neighbours), neighbours));
      const Py_ssize_t size = PyDict_Size(neighbours);
      Py_ssize_t position = 0;
      PyObject* neighbour = nullptr;
      PyObject* value = nullptr;
      while (PyDict_Next(neighbours, &position, &neighbour, &value)) {
        const index_t id = addresses_.find(neighbour);
        if (id != none) {
          indices_.push_back(id);
          continue;
        }
        const PyRef kept((Py_INCREF(neighbour), neighbour));
        if (!add_by_equality(neighbour)) return false;
        if (PyDict_Size(neighbours) != size) {
          PyErr_SetString(PyExc_RuntimeError, "dictionary changed size during iteration");
          return false;
        }
      }
      tick(static_cast<std::size_t>(size) + 1);
      return true;
    }
    const PyRef iterator(PyObject_GetIter(neighbours));
    if (!iterator) return false;
    while (const PyRef neighbour{PyIter_Next(iterator.get())}) {
      tick(1);
      const index_t id = addresses_.find(neighbour.get());
      if (id != none) {
        indices_.push_back(id);
      } else if (!add_by_equality(neighbour.get())) {
        return false;
      }
    }
    return PyErr_Occurred() == nullptr;
  }

 private:
  bool add_by_equality(PyObject* neighbour) {
    if (!index_) {
      index_ = PyRef(PyDict_New());
      if (!index_) return false;
      for (std::size_t i = 0; i < ids_.size(); ++i)
        if (PyDict_SetItem(index_.get(), PyList_GET_ITEM(labels_, static_cast<Py_ssize_t>(i)), ids_[i].get()) != 0)
          return false;
    }
    PyObject* id = PyDict_GetItemWithError(index_.get(), neighbour);
    if (id == nullptr) {
      if (!PyErr_Occurred()) PyErr_SetObject(PyExc_KeyError, neighbour);
      return false;
    }
    indices_.push_back(static_cast<index_t>(PyLong_AsSize_t(id)));
    return true;
  }

  const AddressTable& addresses_;
  PyObject* labels_;
  const std::vector<PyRef>& ids_;
  PyRef index_;
  std::vector<index_t>& indices_;
};

}  // namespace

PyRef adjacency_rows(const Arguments& arguments, Ticker& tick) {
  PyObject* adjacency = arguments[0];
  // A mapping has keys(), as dict() itself tells a mapping from a sequence.
  if (!PyDict_Check(adjacency) && !PyObject_HasAttrString(adjacency, "keys")) {
    PyErr_Format(PyExc_TypeError, "adjacency must be a mapping, not %.100s", Py_TYPE(adjacency)->tp_name);
    return {};
  }
  [[maybe_unused]] const CollectorPaused paused;
  PyRef labels(PySequence_List(adjacency));
  if (!labels) return {};
  const Py_ssize_t n = PyList_GET_SIZE(labels.get());
  const index_t count = checked_index(static_cast<std::size_t>(n));

  // The ints 0 .. n-1, each made once: the labels' ids and the indices.
  std::vector<PyRef> ids;
  ids.reserve(count);
  for (index_t i = 0; i < count; ++i) {
    ids.emplace_back(PyLong_FromSize_t(i));
    if (!ids.back()) return {};
  }
  AddressTable addresses(count);
  for (index_t i = 0; i < count; ++i) addresses.add(PyList_GET_ITEM(labels.get(), i), i);
  tick(count);

  std::vector<std::size_t> indptr{0};
  indptr.reserve(static_cast<std::size_t>(n) + 1);
  std::vector<index_t> indices;
  NeighbourReader reader(addresses, labels.get(), ids, indices);
  // A dict's rows come with its keys, in the order of the labels, without
  // looking each label up again; a dict changed by code that a lookup ran
  // stops the walk, as it would stop a Python loop. Not on PyPy, whose dicts
  // may hand out a new object for the same key at each read.
#ifdef PYPY_VERSION
  const bool walk = false;
#else
  const bool walk = PyDict_CheckExact(adjacency);
#endif
  Py_ssize_t position = 0;
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject* label = PyList_GET_ITEM(labels.get(), i);
    PyRef neighbours;
    if (walk) {
      PyObject* key = nullptr;
      PyObject* value = nullptr;
      if (PyDict_Size(adjacency) != n) {
        PyErr_SetString(PyExc_RuntimeError, "dictionary changed size during iteration");
        return {};
      }
      if (!PyDict_Next(adjacency, &position, &key, &value) || key != label) {
        PyErr_SetString(PyExc_RuntimeError, "dictionary keys changed during iteration");
        return {};
      }
      neighbours = PyRef((Py_INCREF(value), value));
    } else {
      neighbours = PyRef(PyObject_GetItem(adjacency, label));
    }
    if (!neighbours || !reader.read(neighbours.get(), tick)) return {};
    indptr.push_back(indices.size());
  }

  PyRef indptr_list = build_list(indptr.size(), tick, [&](std::size_t i) { return PyLong_FromSize_t(indptr[i]); });
  if (!indptr_list) return {};
  PyRef indices_list = build_list(indices.size(), tick, [&](std::size_t j) {
    PyObject* id = ids[indices[j]].get();
    Py_INCREF(id);
    return id;
  });
  if (!indices_list) return {};
  return PyRef(PyTuple_Pack(3, labels.get(), indptr_list.get(), indices_list.get()));
}

}  // namespace korvane::binding
