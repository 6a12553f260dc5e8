// The Python module `korvane`: argument parsing, conversion of Python data into
// the core's flat containers and back, and the mapping of core failures to
// Python exceptions. This is the only file that sees the Python C API, so it
// holds every piece that needs it (references, parser, converters, builders,
// the PyPy route and Ctrl-C) and runs longer than the house's files do; the
// table of module functions near its end reads as the summary.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "graph_q_components.hpp"
#include "lib.hpp"
#include "pypy_conversions.hpp"

namespace korvane {
namespace {

// ---------------------------------------------------------------------------
// Ownership of Python references

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

// ---------------------------------------------------------------------------
// The table of module functions

// Every argument of a call, borrowed, in parameter order; unused slots stay null.
constexpr std::size_t max_parameters = 2;
using Arguments = std::array<PyObject*, max_parameters>;
using Body = PyRef (*)(const Arguments& arguments, Ticker& tick);

// One row per module function. Every parameter is required and may be passed by
// position or by keyword; the row yields the method table entry, the text
// signature and the parser's messages.
struct ModuleFunction {
  const char* name;
  std::array<const char*, max_parameters> parameters;
  std::size_t parameter_count;
  Body body;
};

// 'a' / 'a' and 'b' / 'a', 'b', and 'c'
std::string quoted_list(const std::vector<const char*>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += names.size() == 2 ? " and " : (i + 1 == names.size() ? ", and " : ", ");
    text += '\'';
    text += names[i];
    text += '\'';
  }
  return text;
}

// "NAME(a, b)\n--\n\n": the interpreter's text-signature convention, no further text.
std::string text_signature(const ModuleFunction& function) {
  std::string text = function.name;
  text += '(';
  for (std::size_t p = 0; p < function.parameter_count; ++p) {
    if (p > 0) text += ", ";
    text += function.parameters[p];
  }
  return text + ")\n--\n\n";
}

// Fills `bound` with borrowed references, one per parameter. Checks, in order:
// too many positional arguments; each keyword in call order; missing parameters.
bool parse_arguments(const ModuleFunction& function, PyObject* const* args, Py_ssize_t positional_count,
                     PyObject* keyword_names, Arguments& bound) {
  const std::size_t n = function.parameter_count;
  bound.fill(nullptr);
  const auto given = static_cast<std::size_t>(positional_count);
  if (given > n) {
    PyErr_Format(PyExc_TypeError, "%s() takes %zu positional arguments but %zu %s given", function.name, n, given,
                 given == 1 ? "was" : "were");
    return false;
  }
  std::copy(args, args + given, bound.begin());

  const Py_ssize_t keyword_count = keyword_names == nullptr ? 0 : PyTuple_Size(keyword_names);
  for (Py_ssize_t k = 0; k < keyword_count; ++k) {
    PyObject* key = PyTuple_GetItem(keyword_names, k);
    if (key == nullptr) return false;
    // Parameter names are ASCII, so a non-str key or one that is not valid
    // UTF-8 (lone surrogates) can match none of them.
    std::size_t slot = n;
    if (PyUnicode_Check(key)) {
      for (std::size_t p = 0; p < n; ++p) {
        if (PyUnicode_CompareWithASCIIString(key, function.parameters[p]) == 0) {
          slot = p;
          break;
        }
      }
    }
    if (slot == n) {
      PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%S'", function.name, key);
      return false;
    }
    if (bound[slot] != nullptr) {
      PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", function.name,
                   function.parameters[slot]);
      return false;
    }
    bound[slot] = args[positional_count + k];
  }

  std::vector<const char*> missing;
  for (std::size_t p = 0; p < n; ++p) {
    if (bound[p] == nullptr) missing.push_back(function.parameters[p]);
  }
  if (!missing.empty()) {
    PyErr_Format(PyExc_TypeError, "%s() missing %zu required positional argument%s: %s", function.name,
                 missing.size(), missing.size() == 1 ? "" : "s", quoted_list(missing).c_str());
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// The route through Python code on PyPy

// The functions of pypy_conversions_source, made once at module creation on
// PyPy; null on CPython, which converts everything here in C++.
struct PyPyConversions {
  PyObject* flatten_simplices = nullptr;
  PyObject* flatten_edges = nullptr;
  PyObject* build_levels = nullptr;
  PyObject* build_persistence = nullptr;
  PyObject* record_chunks = nullptr;
  PyObject* joined = nullptr;
  PyObject* vertex_table = nullptr;
  PyObject* signal_checkpoint = nullptr;
  PyObject* blank_array = nullptr;
};
PyPyConversions pypy;

#ifdef PYPY_VERSION
bool make_pypy_conversions() {
  if (pypy.signal_checkpoint != nullptr) return true;
  PyRef globals(PyDict_New());
  if (!globals || PyDict_SetItemString(globals.get(), "__builtins__", PyEval_GetBuiltins()) != 0 ||
      !PyRef(PyRun_String(pypy_conversions_source, Py_file_input, globals.get(), globals.get())))
    return false;
  const std::pair<PyObject**, const char*> functions[] = {
      {&pypy.flatten_simplices, "flatten_simplices"},
      {&pypy.flatten_edges, "flatten_edges"},
      {&pypy.build_levels, "build_levels"},
      {&pypy.build_persistence, "build_persistence"},
      {&pypy.record_chunks, "record_chunks"},
      {&pypy.joined, "joined"},
      {&pypy.vertex_table, "vertex_table"},
      {&pypy.signal_checkpoint, "signal_checkpoint"},
      {&pypy.blank_array, "blank_array"},
  };
  for (const auto& [slot, name] : functions) {
    *slot = PyDict_GetItemString(globals.get(), name);
    if (*slot == nullptr) {
      PyErr_Format(PyExc_SystemError, "korvane: %s missing from the PyPy conversions", name);
      return false;
    }
    Py_INCREF(*slot);
  }
  return true;
}
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

template <class T>
WordArray<T> blank_words(std::size_t count) {
  static_assert(std::is_floating_point_v<T> || sizeof(T) == 4 || sizeof(T) == 8);
  const PyRef made(PyObject_CallFunction(pypy.blank_array, "nni", static_cast<Py_ssize_t>(count),
                                         Py_ssize_t{sizeof(T)}, int{std::is_floating_point_v<T>}));
  if (!made) return {};
  if (!PyTuple_Check(made.get()) || PyTuple_GET_SIZE(made.get()) != 2) {
    PyErr_SetString(PyExc_SystemError, "korvane: blank_array returned no (array, address) pair");
    return {};
  }
  void* storage = PyLong_AsVoidPtr(PyTuple_GET_ITEM(made.get(), 1));
  if (storage == nullptr && PyErr_Occurred()) return {};
  PyObject* numbers = PyTuple_GET_ITEM(made.get(), 0);
  Py_INCREF(numbers);
  return {PyRef(numbers), static_cast<T*>(storage)};
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

// Replaces `words` with the words of a packed array: the (array, address,
// size in bytes) that the Python code reports, the array keeping its storage
// alive and in place while `packed` is held.
template <class T>
bool read_words(PyObject* packed, std::vector<T>& words) {
  if (packed == nullptr) return false;
  if (!PyTuple_Check(packed) || PyTuple_GET_SIZE(packed) != 3) {
    PyErr_SetString(PyExc_SystemError, "korvane: a packed array is not an (array, address, size) triple");
    return false;
  }
  const void* data = PyLong_AsVoidPtr(PyTuple_GET_ITEM(packed, 1));
  if (data == nullptr && PyErr_Occurred()) return false;
  const Py_ssize_t size = PyLong_AsSsize_t(PyTuple_GET_ITEM(packed, 2));
  if (size < 0) {
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_SystemError, "korvane: a packed array has a negative size");
    return false;
  }
  words.resize(static_cast<std::size_t>(size) / sizeof(T));
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

// ---------------------------------------------------------------------------
// Conversion of arguments

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
// Each Python object read or made is charged as this much work to the call's
// Ticker: a few hundred objects between two polls for Ctrl-C.
constexpr std::size_t object_work = 256;

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

bool convert_weight(PyObject* object, double& weight) {
  if (PyFloat_CheckExact(object)) {
    weight = PyFloat_AS_DOUBLE(object);
    return true;
  }
  weight = PyFloat_AsDouble(object);
  return !(weight == -1.0 && PyErr_Occurred());
}

// max_q caps the number of vertices of the cliques taken (None: no cap); a cap
// of 0 counts as 1. This is the one place the cap is normalised.
bool convert_size_cap(PyObject* object, std::optional<std::uint64_t>& size_cap) {
  size_cap.reset();
  if (object == Py_None) return true;
  std::uint64_t value = 0;
  if (!convert_unsigned(object, value)) return false;
  size_cap = std::max<std::uint64_t>(value, 1);
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

// A sequence of vertex sequences; simplex i is group i.
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
bool convert_edge_tuples(PyObject* object, std::vector<EdgeShape>& edges, Ticker& tick) {
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

// ---------------------------------------------------------------------------
// Building results

bool append_steal(PyObject* list, PyRef item) { return item && PyList_Append(list, item.get()) == 0; }

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

// The levels as three word arrays (every component's ids, where each component
// starts, where each level ends), built into lists of sets by Python code; with
// a `table`, the ids index it.
PyRef build_levels_in_python(const std::vector<Groups<index_t>>& levels, const std::vector<vertex_t>* table) {
  std::vector<std::uint64_t> items, starts{0}, level_ends;
  for (const Groups<index_t>& level : levels) {
    items.insert(items.end(), level.items.begin(), level.items.end());
    for (std::size_t c = 1; c < level.starts.size(); ++c) starts.push_back(starts.back() + level.length(c - 1));
    level_ends.push_back(starts.size() - 1);
  }
  const PyRef item_words = array_of(items), start_words = array_of(starts), level_words = array_of(level_ends);
  PyRef table_words = table != nullptr ? array_of(*table) : PyRef((Py_INCREF(Py_None), Py_None));
  if (!item_words || !start_words || !level_words || !table_words) return {};
  return PyRef(PyObject_CallFunctionObjArgs(pypy.build_levels, item_words.get(), start_words.get(),
                                            level_words.get(), table_words.get(), nullptr));
}

// [[{ids of component} for each component] for each level], the ids being
// dense: `ints` gives the int of each, and `table` (null when an id is its own
// value) the caller's value of each on the PyPy route.
template <class Ints>
PyRef build_levels(const std::vector<Groups<index_t>>& levels, Ints& ints, const std::vector<vertex_t>* table,
                   Ticker& tick) {
  if (pypy.build_levels != nullptr && (table == nullptr || signed_words(*table)))
    return build_levels_in_python(levels, table);
  [[maybe_unused]] const CollectorPaused paused;
  return build_list(levels.size(), tick, [&](std::size_t q) {
    const Groups<index_t>& level = levels[q];
    return build_list(level.size(), tick, [&](std::size_t c) {
      PyRef component(PySet_New(nullptr));
      if (!component) return component.release();
      for (const index_t* id = level.begin(c); id != level.end(c); ++id) {
        tick(object_work);
        const PyRef number(ints.get(*id));
        if (!number || PySet_Add(component.get(), number.get()) != 0) return static_cast<PyObject*>(nullptr);
      }
      return component.release();
    }).release();
  });
}

// Puts a new reference into a tuple slot; a null item (a failed creation) fails.
bool set_tuple_item(PyObject* tuple, Py_ssize_t position, PyObject* item) {
  return item != nullptr && PyTuple_SetItem(tuple, position, item) == 0;
}

// The records handed to Python code in chunks of some 65 thousand ids, each as
// five word arrays that it builds into a list of its own, the vertices as
// dense ids into one table of the caller's ids: only one chunk's words are
// held twice at a time, and Ctrl-C is polled between chunks. The arrays are
// made once, for the largest chunk, and refilled: the collector frees none
// while the records of a large result are built. The chunks' lists stay on
// the Python side, in a list made there, until they are joined.
PyRef build_persistence_in_python(const PersistenceRecords& records, Ticker& tick) {
  constexpr std::size_t chunk_ids = std::size_t{1} << 16;
  const auto& starts = records.vertices.starts;
  std::vector<std::size_t> chunk_firsts;  // and records.size() last
  std::size_t most_records = 0, most_ids = 0;
  for (std::size_t first = 0; first < records.size();) {
    std::size_t last = first + 1;
    while (last < records.size() && starts[last + 1] - starts[first] <= chunk_ids) ++last;
    chunk_firsts.push_back(first);
    most_records = std::max(most_records, last - first);
    most_ids = std::max(most_ids, starts[last] - starts[first]);
    first = last;
  }
  chunk_firsts.push_back(records.size());

  const PyRef id_words = array_of(records.ids);
  const PyRef table(id_words ? PyObject_CallFunctionObjArgs(pypy.vertex_table, id_words.get(), nullptr) : nullptr);
  const PyRef chunks(table ? PyObject_CallNoArgs(pypy.record_chunks) : nullptr);
  if (!chunks) return {};
  WordArray<std::int64_t> levels = blank_words<std::int64_t>(most_records);
  WordArray<index_t> items = blank_words<index_t>(most_ids);
  WordArray<std::size_t> offsets = blank_words<std::size_t>(most_records + 1);
  WordArray<double> births = blank_words<double>(most_records), deaths = blank_words<double>(most_records);
  if (!levels.numbers || !items.numbers || !offsets.numbers || !births.numbers || !deaths.numbers) return {};
  PyObject* large = records.vertices.items.size() > chunk_ids ? Py_True : Py_False;
  for (std::size_t c = 0; c + 1 < chunk_firsts.size(); ++c) {
    const std::size_t first = chunk_firsts[c], last = chunk_firsts[c + 1];
    tick.poll();
    for (std::size_t r = first; r <= last; ++r) offsets.storage[r - first] = starts[r] - starts[first];
    levels.fill(records.q.data() + first, records.q.data() + last);
    items.fill(records.vertices.begin(first), records.vertices.begin(last));
    births.fill(records.birth.data() + first, records.birth.data() + last);
    deaths.fill(records.death.data() + first, records.death.data() + last);
    const PyRef count(PyLong_FromSize_t(last - first));
    if (!count || !PyRef(PyObject_CallFunctionObjArgs(pypy.build_persistence, chunks.get(), table.get(), count.get(),
                                                      large, levels.numbers.get(), items.numbers.get(),
                                                      offsets.numbers.get(), births.numbers.get(),
                                                      deaths.numbers.get(), nullptr)))
      return {};
  }
  return PyRef(PyObject_CallFunctionObjArgs(pypy.joined, chunks.get(), nullptr));
}

// [((q, [vertices ascending]), birth, death) for each record]
PyRef build_persistence(const PersistenceRecords& records, Ticker& tick) {
  if (pypy.build_persistence != nullptr && signed_words(records.ids)) return build_persistence_in_python(records, tick);
  [[maybe_unused]] const CollectorPaused paused;
  SharedInts<DenseVertexSlots> vertices(records.ids.size(), DenseVertexSlots{records.ids});
  return build_list(records.size(), tick, [&](std::size_t r) {
    const index_t* begin = records.vertices.begin(r);
    PyRef key(PyTuple_New(2));
    if (!key || !set_tuple_item(key.get(), 0, PyLong_FromLongLong(records.q[r])) ||
        !set_tuple_item(key.get(), 1,
                        build_list(records.vertices.length(r), tick, [&](std::size_t i) { return vertices.get(begin[i]); })
                            .release()))
      return static_cast<PyObject*>(nullptr);
    PyRef record(PyTuple_New(3));
    if (!record || !set_tuple_item(record.get(), 0, key.release()) ||
        !set_tuple_item(record.get(), 1, PyFloat_FromDouble(records.birth[r])) ||
        !set_tuple_item(record.get(), 2, PyFloat_FromDouble(records.death[r])))
      return static_cast<PyObject*>(nullptr);
    return record.release();
  });
}

// ---------------------------------------------------------------------------
// Running the core

#ifdef PYPY_VERSION
// PyPy's PyErr_CheckSignals does not run pending signal handlers: PyPy runs
// them between bytecodes, so calling a Python function that does nothing gives
// them their turn.
bool run_pending_signal_handlers() { return !PyRef(PyObject_CallNoArgs(pypy.signal_checkpoint)); }
#else
bool run_pending_signal_handlers() { return PyErr_CheckSignals() != 0; }
#endif

// Looking for signals costs a call into the interpreter, and in the core the
// interpreter lock taken back from other threads: polls that come within a
// millisecond of the last look are answered from the clock.
class PollInterval {
 public:
  bool due() {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(1)) return false;
    last_ = now;
    return true;
  }

 private:
  std::chrono::steady_clock::time_point last_{};
};

// Polls for Ctrl-C while the interpreter lock is held (argument conversion and
// result building): the hook in force outside the core.
bool poll_signals_holding_lock(void* context) {
  return static_cast<PollInterval*>(context)->due() && run_pending_signal_handlers();
}

// The core runs without the interpreter lock so that other Python threads keep
// going. Its Ticker polls here: the lock is taken back just long enough to run
// pending signal handlers, and a handler that raised (Ctrl-C) stops the core,
// leaving that exception set for the caller.
class InterpreterLockReleased {
 public:
  InterpreterLockReleased() : thread_(PyEval_SaveThread()), hook_(&poll_signals, this) {}
  ~InterpreterLockReleased() { PyEval_RestoreThread(thread_); }
  InterpreterLockReleased(const InterpreterLockReleased&) = delete;
  InterpreterLockReleased& operator=(const InterpreterLockReleased&) = delete;

 private:
  static bool poll_signals(void* context) {
    auto* self = static_cast<InterpreterLockReleased*>(context);
    if (!self->interval_.due()) return false;
    PyEval_RestoreThread(self->thread_);
    const bool raised = run_pending_signal_handlers();
    self->thread_ = PyEval_SaveThread();
    return raised;
  }

  PyThreadState* thread_;
  PollInterval interval_;
  ScopedInterruptHook hook_;
};

template <class Compute>
auto without_interpreter_lock(Compute&& compute) {
  InterpreterLockReleased released;
  return compute();
}

PyObject* panic_exception = nullptr;

// Runs one call of a module function and turns every way it can fail into a
// Python exception: native failures are caught here and never cross into the
// interpreter.
template <class Body>
PyObject* call_boundary(const char* function_name, Body&& body) {
  PyRef result;
  try {
    PollInterval interval;
    const ScopedInterruptHook signals(&poll_signals_holding_lock, &interval);
    Ticker tick;
    result = body(tick);
  } catch (const Interrupted&) {
    // The signal handler's exception is already set.
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::length_error& failure) {
    PyErr_SetString(PyExc_MemoryError, failure.what());
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "korvane: internal failure in %s(): %s\n", function_name, failure.what());
    std::fflush(stderr);
    PyErr_SetString(panic_exception, failure.what());
  } catch (...) {
    std::fprintf(stderr, "korvane: internal failure in %s(): unknown exception\n", function_name);
    std::fflush(stderr);
    PyErr_SetString(panic_exception, "unknown exception");
  }
  if (!result && !PyErr_Occurred()) {
    PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
  }
  return result.release();
}

// ---------------------------------------------------------------------------
// The module functions

// For each level q, the q-components of the simplices as sets of their
// positions in py_simplices.
PyRef hierarchy_levels(const Arguments& arguments, Ticker& tick) {
  Groups<vertex_t> simplices;
  if (!convert_simplices(arguments[0], simplices, tick)) return {};
  const auto levels = without_interpreter_lock([&] { return find_hierarchical_q_components(simplices); });
  SharedInts<PositionSlots> positions(simplices.size());
  return build_levels(levels, positions, nullptr, tick);
}

// ((q, vertices), birth, death) for every component met while the weighted
// edges are added by weight.
PyRef persistence_records(const Arguments& arguments, Ticker& tick) {
  std::vector<WeightedEdge> edges;
  std::optional<std::uint64_t> size_cap;
  if (!convert_edge_tuples(arguments[0], edges, tick) || !convert_size_cap(arguments[1], size_cap)) return {};
  const auto records =
      without_interpreter_lock([&] { return calculate_persistent_q_components(std::move(edges), size_cap); });
  return build_persistence(records, tick);
}

// For each level q, the q-components of the graph's clique complex as sets of
// vertex ids.
PyRef graph_levels(const Arguments& arguments, Ticker& tick) {
  std::vector<Edge> edges;
  std::optional<std::uint64_t> size_cap;
  if (!convert_edge_tuples(arguments[0], edges, tick) || !convert_size_cap(arguments[1], size_cap)) return {};
  Graph graph;
  const auto levels = without_interpreter_lock([&] {
    graph = build_graph(edges);
    return find_all_q_connected_components(graph, size_cap);
  });
  SharedInts<DenseVertexSlots> vertices(graph.ids.size(), DenseVertexSlots{graph.ids});
  return build_levels(levels, vertices, &graph.ids, tick);
}

// In the order of the module's __all__.
constexpr ModuleFunction module_functions[] = {
    {"py_find_hierarchical_q_components", {"py_simplices"}, 1, hierarchy_levels},
    {"py_calculate_persistent_q_components", {"edges", "max_q"}, 2, persistence_records},
    {"py_find_hierarchical_q_components_within_graph", {"edges", "max_q"}, 2, graph_levels},
};
constexpr std::size_t function_count = std::size(module_functions);

// The interpreter's entry to row `row`: fast calling convention with keywords.
template <std::size_t row>
PyObject* call_function(PyObject*, PyObject* const* args, Py_ssize_t positional_count, PyObject* keyword_names) {
  const ModuleFunction& function = module_functions[row];
  return call_boundary(function.name, [&](Ticker& tick) -> PyRef {
    Arguments arguments;
    if (!parse_arguments(function, args, positional_count, keyword_names, arguments)) return {};
    return function.body(arguments, tick);
  });
}

// The method table and the docstrings it points to, made from the rows once.
struct MethodTable {
  std::array<std::string, function_count> docstrings;
  std::array<PyMethodDef, function_count + 1> methods{};
};

template <std::size_t... rows>
MethodTable& method_table(std::index_sequence<rows...>) {
  static MethodTable table = [] {
    MethodTable made;
    made.docstrings = {text_signature(module_functions[rows])...};
    made.methods = {PyMethodDef{module_functions[rows].name,
                                reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(call_function<rows>)),
                                METH_FASTCALL | METH_KEYWORDS, made.docstrings[rows].c_str()}...,
                    PyMethodDef{nullptr, nullptr, 0, nullptr}};
    return made;
  }();
  return table;
}

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT, "korvane", "", -1, nullptr, nullptr, nullptr, nullptr, nullptr,
};

// glibc hands a freed heap top of more than 128 KiB back to the system
// straight away, and the next call faults those pages in again: a call that
// frees a few hundred KiB of scratch spends up to a sixth of its time so. The
// first free of a block above that size (as most sessions make early on)
// raises glibc's trim threshold to twice the block. One block of 4 MiB,
// freed at import, keeps the scratch of calls up to 8 MiB in the process.
void raise_heap_trim_threshold() {
#ifdef __GLIBC__
  void* volatile block = std::malloc(std::size_t{4} << 20);
  std::free(block);
#endif
}

PyRef create_module() {
  raise_heap_trim_threshold();
  if (panic_exception == nullptr) {
    panic_exception = PyErr_NewExceptionWithDoc(
        "korvane.PanicException", "An internal invariant of korvane's native code failed.", PyExc_BaseException,
        nullptr);
    if (panic_exception == nullptr) return {};
  }
#ifdef PYPY_VERSION
  if (!make_pypy_conversions()) return {};
#endif
  module_definition.m_methods = method_table(std::make_index_sequence<function_count>{}).methods.data();
  PyRef module(PyModule_Create2(&module_definition, PYTHON_API_VERSION));
  if (!module) return {};
#ifdef PYPY_VERSION
  // PyPy leaves an empty module docstring unset, and `__doc__` would then read
  // the docstring of the module type.
  PyRef empty(PyUnicode_FromString(""));
  if (!empty || PyObject_SetAttrString(module.get(), "__doc__", empty.get()) != 0) return {};
#endif
  PyRef all(PyList_New(0));
  if (!all) return {};
  for (const ModuleFunction& function : module_functions) {
    if (!append_steal(all.get(), PyRef(PyUnicode_FromString(function.name)))) return {};
  }
  if (PyObject_SetAttrString(module.get(), "__all__", all.get()) != 0 ||
      PyObject_SetAttrString(module.get(), "PanicException", panic_exception) != 0)
    return {};
  // The package version, set by the build from the package metadata.
  if (PyModule_AddStringConstant(module.get(), "__version__", KORVANE_VERSION) != 0) return {};
  return module;
}

}  // namespace
}  // namespace korvane

// The module is made once per process and kept; initialising again hands back
// the same object.
PyMODINIT_FUNC PyInit_korvane(void) {
  static PyObject* module = nullptr;
  if (module == nullptr) module = korvane::create_module().release();
  Py_XINCREF(module);
  return module;
}
