// Python objects as every file of the binding holds them: one owner per
// strong reference, the work each object counts for between two polls for
// Ctrl-C, and the cyclic collector paused while a great many are made. The
// files of this folder and src/pybindings.cpp are the only ones that include
// the Python headers, and they do so through this one.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <utility>

namespace korvane::binding {

// Owns one strong reference; a moved-from or released holder owns nothing.
class PyRef {
 public:
  PyRef() = default;
  explicit PyRef(PyObject* object) : object_(object) {}
  PyRef(PyRef&& other) noexcept : object_(other.release()) {}
  PyRef& operator=(PyRef&& other) noexcept {
    PyRef(std::move(other)).swap(*this);
    return *this;
  }
  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  ~PyRef() { Py_XDECREF(object_); }

  PyObject* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  PyObject* release() { return std::exchange(object_, nullptr); }
  void swap(PyRef& other) noexcept { std::swap(object_, other.object_); }

 private:
  PyObject* object_ = nullptr;
};

// Appends `item` (null: a failed creation, which fails) and drops its reference.
inline bool append_steal(PyObject* list, PyRef item) { return item && PyList_Append(list, item.get()) == 0; }

// Puts a new reference into a tuple slot; a null item (a failed creation) fails.
inline bool set_tuple_item(PyObject* tuple, Py_ssize_t position, PyObject* item) {
  return item != nullptr && PyTuple_SetItem(tuple, position, item) == 0;
}

// Each Python object read or made is charged as this much work to the call's
// Ticker: a few hundred objects between two polls for Ctrl-C.
constexpr std::size_t object_work = 256;

// A large result is a great many new containers, and every few hundred of them
// the cyclic collector would scan them all again although none can be garbage
// yet; converting an argument makes an iterator per sequence, with the same
// effect. The collector is paused while arguments are converted and while a
// result is built (CPython 3.10+, where this costs two calls): a full
// collection is tens of milliseconds without a poll for Ctrl-C.
class CollectorPaused {
 public:
#if PY_VERSION_HEX >= 0x030A0000 && !defined(PYPY_VERSION)
  CollectorPaused() : was_enabled_(PyGC_Disable() != 0) {}
  ~CollectorPaused() {
    if (was_enabled_) PyGC_Enable();
  }

 private:
  bool was_enabled_;
#endif
};

}  // namespace korvane::binding
