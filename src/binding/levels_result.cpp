// Levels of components as lists of sets: built object by object here, or on
// PyPy by the route's Python code from arrays of words.
#include <cstdint>

#include "pypy_route.hpp"
#include "result_parts.hpp"
#include "results.hpp"

namespace korvane::binding {
namespace {

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

// The levels with dense ids: `ints` gives the int of each, and `table` (null
// when an id is its own value) the caller's value of each on the PyPy route.
template <class Ints>
PyRef build_levels(const std::vector<Groups<index_t>>& levels, Ints&& ints, const std::vector<vertex_t>* table,
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

}  // namespace

PyRef build_position_levels(const std::vector<Groups<index_t>>& levels, std::size_t position_count, Ticker& tick) {
  return build_levels(levels, SharedInts<PositionSlots>(position_count), nullptr, tick);
}

PyRef build_vertex_levels(const std::vector<Groups<index_t>>& levels, const std::vector<vertex_t>& ids,
                          Ticker& tick) {
  return build_levels(levels, SharedInts<DenseVertexSlots>(ids.size(), DenseVertexSlots{ids}), &ids, tick);
}

}  // namespace korvane::binding
