// Persistence records as a list of ((q, vertices), birth, death) tuples: built
// object by object here, or on PyPy by the route's Python code, a chunk of
// records at a time, from arrays of words.
#include <algorithm>
#include <cstdint>

#include "pypy_route.hpp"
#include "result_parts.hpp"
#include "results.hpp"

namespace korvane::binding {
namespace {

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

}  // namespace

PyRef build_persistence(const PersistenceRecords& records, Ticker& tick) {
  if (pypy.build_persistence != nullptr && signed_words(records.ids)) return build_persistence_in_python(records, tick);
  [[maybe_unused]] const CollectorPaused paused;
  SharedInts<DenseVertexSlots> vertices(records.ids.size(), DenseVertexSlots{records.ids});
  return build_list(records.size(), tick, [&](std::size_t r) {
    const index_t* begin = records.vertices.begin(r);
    return build_record(
        records.q[r],
        build_list(records.vertices.length(r), tick, [&](std::size_t i) { return vertices.get(begin[i]); }),
        records.birth[r], records.death[r]);
  });
}

}  // namespace korvane::binding
