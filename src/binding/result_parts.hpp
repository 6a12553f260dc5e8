// What the builders of results share: one Python int per distinct value, and
// lists filled slot by slot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "core.hpp"
#include "python.hpp"

namespace korvane::binding {

// The value of each dense id a result names: simplex positions are their own
// values; dense vertex ids index the table of the caller's ids.
struct PositionSlots {
  std::uint64_t value(index_t position) const { return position; }
};

struct DenseVertexSlots {
  const std::vector<vertex_t>& ids;
  std::uint64_t value(index_t vertex) const { return ids[vertex]; }
};

// One Python int per distinct value within a call: a result that names the
// same vertex or simplex a million times holds a million references to one
// object instead of a million ints. The table owns one reference per entry.
template <class Slots>
class SharedInts {
 public:
  // For the dense ids 0 .. count-1.
  explicit SharedInts(std::size_t count, Slots slots = Slots()) : slots_(std::move(slots)), numbers_(count, nullptr) {}
  SharedInts(const SharedInts&) = delete;
  SharedInts& operator=(const SharedInts&) = delete;
  ~SharedInts() {
    for (PyObject* number : numbers_) Py_XDECREF(number);
  }

  // A new reference to the int of `id`'s value; null on failure.
  PyObject* get(index_t id) {
    PyObject*& number = numbers_[id];
    if (number == nullptr) number = PyLong_FromUnsignedLongLong(slots_.value(id));
    Py_XINCREF(number);
    return number;
  }

 private:
  Slots slots_;
  std::vector<PyObject*> numbers_;
};

// A list of `count` slots, each filled by `item(i)` (a new reference, null on failure).
template <class Item>
PyRef build_list(std::size_t count, Ticker& tick, Item&& item) {
  PyRef list(PyList_New(static_cast<Py_ssize_t>(count)));
  if (!list) return {};
  for (std::size_t i = 0; i < count; ++i) {
    tick(object_work);
    PyObject* element = item(i);
    if (element == nullptr) return {};
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), element);
  }
  return list;
}

// ((q, vertices), birth, death): a persistence record, taking `vertices` (null:
// a failed creation, which fails). A new reference, or null.
inline PyObject* build_record(std::int64_t q, PyRef vertices, double birth, double death) {
  PyRef key(PyTuple_New(2));
  if (!key || !set_tuple_item(key.get(), 0, PyLong_FromLongLong(q)) || !set_tuple_item(key.get(), 1, vertices.release()))
    return nullptr;
  PyRef record(PyTuple_New(3));
  if (!record || !set_tuple_item(record.get(), 0, key.release()) ||
      !set_tuple_item(record.get(), 1, PyFloat_FromDouble(birth)) ||
      !set_tuple_item(record.get(), 2, PyFloat_FromDouble(death)))
    return nullptr;
  return record.release();
}

}  // namespace korvane::binding
