// The C++ half of the route through Python code on PyPy (pypy_route.py, built
// into the extension): the functions of that file, and the arrays of 64-bit
// words that carry arguments and results across the C-extension layer in bulk.
// On CPython the functions stay null and every conversion is done in C++.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include "core.hpp"
#include "python.hpp"

namespace korvane::binding {

// The functions of pypy_route.py, made once at module creation on PyPy and
// kept for the life of the process; null on CPython.
struct PyPyRoute {
  PyObject *flatten_simplices, *flatten_edges, *flatten_ints;                                       // arguments
  PyObject *build_levels, *vertex_table, *record_chunks, *build_persistence, *joined;  // results
  PyObject *blank_array, *signal_checkpoint;                                           // result arrays; Ctrl-C
};
extern PyPyRoute pypy;

#ifdef PYPY_VERSION
// Runs pypy_route.py and fills `pypy`, once; false with an exception set on
// failure, leaving `pypy` as it was.
bool make_pypy_route();
#endif

// The words are moved as raw bytes; both sides read them as 64-bit values.
static_assert(sizeof(std::size_t) == 8 && sizeof(vertex_t) == 8 && sizeof(double) == 8,
              "the PyPy route moves 64-bit words");
static_assert(sizeof(index_t) == 4, "the PyPy route reads dense ids as 32-bit words");

// An array.array of words, made by the Python code at its full length and
// filled here through the address it reports. PyPy copies a bytes object made
// here into its own heap a byte at a time, some 3 ns a byte, and holds on to a
// few dozen bytes for every buffer taken of an object; an array's storage
// stays where it is.
template <class T>
struct WordArray {
  PyRef numbers;  // null on failure
  T* storage = nullptr;

  // Copies the words to the start of the storage, which has room for them.
  void fill(const T* begin, const T* end) {
    if (end != begin) std::memcpy(storage, begin, static_cast<std::size_t>(end - begin) * sizeof(T));
  }
};

// A new array of `count` zero items of `itemsize` bytes (floats if
// `floating`), its storage's address in `storage`; null on failure.
PyRef blank_array(std::size_t count, std::size_t itemsize, bool floating, void*& storage);

template <class T>
WordArray<T> blank_words(std::size_t count) {
  static_assert(std::is_floating_point_v<T> || sizeof(T) == 4 || sizeof(T) == 8);
  void* storage = nullptr;
  PyRef numbers = blank_array(count, sizeof(T), std::is_floating_point_v<T>, storage);
  return {std::move(numbers), static_cast<T*>(storage)};
}

template <class T>
PyRef array_of(const T* begin, const T* end) {
  WordArray<T> words = blank_words<T>(static_cast<std::size_t>(end - begin));
  if (words.numbers) words.fill(begin, end);
  return std::move(words.numbers);
}

template <class T>
PyRef array_of(const std::vector<T>& words) {
  return array_of(words.data(), words.data() + words.size());
}

// The address and size in bytes of a packed array: the (array, address, size
// in bytes) that the Python code reports, the array keeping its storage alive
// and in place while `packed` is held. False with an exception set when
// `packed` is null (a failed call) or not such a triple.
bool locate_packed(PyObject* packed, const void*& data, std::size_t& size);

// Replaces `words` with the words of a packed array.
template <class T>
bool read_words(PyObject* packed, std::vector<T>& words) {
  const void* data = nullptr;
  std::size_t size = 0;
  if (!locate_packed(packed, data, size)) return false;
  words.resize(size / sizeof(T));
  if (!words.empty()) std::memcpy(words.data(), data, words.size() * sizeof(T));
  return true;
}

// The words are signed: larger ids take the generic route.
template <class T>
bool signed_words(const std::vector<T>& ids) {
  return std::all_of(ids.begin(), ids.end(), [](T id) { return static_cast<std::uint64_t>(id) <= INT64_MAX; });
}

enum class Flattened { converted, declined, failed };

// Calls a flattening function of the PyPy route with the arguments that
// `format` builds (always a tuple), and `read`s its result. Declined when there
// is no such route (CPython) or when the function returns None: the argument has
// a shape that the generic conversion handles.
template <class Read, class... Values>
Flattened flatten(PyObject* function, Read&& read, const char* format, Values... values) {
  if (function == nullptr) return Flattened::declined;
  const PyRef flat(PyObject_CallFunction(function, format, values...));
  if (!flat) return Flattened::failed;
  if (flat.get() == Py_None) return Flattened::declined;
  return read(flat.get()) ? Flattened::converted : Flattened::failed;
}

}  // namespace korvane::binding
