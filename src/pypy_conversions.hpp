// Python source that the binding runs on PyPy, where every object that crosses
// the C-extension layer costs far more than the work done on it, while plain
// Python loops are compiled by the JIT and lists and sets of ints are stored
// unboxed. Arguments of the common shapes are flattened here into bytes of
// 64-bit words, and results are built here from memoryviews of the binding's
// native words: a call crosses the layer a handful of times instead of once
// per object.
//
// Words are signed 64-bit (WORD), whose arrays PyPy turns into lists of ints
// and back in bulk; ids of 2**63 and above take the generic route. A
// flattening function accepts only exact lists and tuples of exact ints in
// 0 .. 2**63-1 (and floats for weights); for anything else it returns None,
// touching nothing, and the binding converts the argument itself, raising
// exactly the errors it always raises.
#pragma once

namespace korvane {

inline constexpr const char* pypy_conversions_source = R"PY(
from array import array

WORD = "l" if array("l").itemsize == 8 else "q"


def signal_checkpoint():
    # PyPy runs pending signal handlers where a loop jumps back, in compiled
    # code too; a function without a loop, once called often enough to be
    # compiled, would never give them their turn.
    for _ in (0,):
        pass


def words(view, typecode):
    """The words of a memoryview of native memory, which is released here: the
    memory is the binding's, and no Python object may read it once this
    returns. An array is indexed by compiled loops without boxing its items; a
    list made of it only to be read again would be garbage the size of the
    result."""
    numbers = array(typecode)
    numbers.frombytes(view)
    view.release()
    return numbers


def packed(numbers, typecode):
    try:
        return array(typecode, numbers).tobytes()
    except OverflowError:
        return None


def flatten_simplices(simplices):
    if type(simplices) is not list and type(simplices) is not tuple:
        return None
    vertices = []
    starts = [0]
    for simplex in simplices:
        if type(simplex) is not list and type(simplex) is not tuple:
            return None
        for vertex in simplex:
            if type(vertex) is not int or vertex < 0:
                return None
        vertices += simplex
        starts.append(len(vertices))
    vertices = packed(vertices, WORD)
    return None if vertices is None else (vertices, packed(starts, WORD))


def flatten_edges(edges, width):
    """Edge tuples of `width` 2 (u, v) or 3 (u, v, weight)."""
    if type(edges) is not list and type(edges) is not tuple:
        return None
    ends = []
    weights = []
    for edge in edges:
        if type(edge) is not tuple or len(edge) != width:
            return None
        u = edge[0]
        v = edge[1]
        if type(u) is not int or type(v) is not int or u < 0 or v < 0:
            return None
        if width == 3:
            weight = edge[2]
            if type(weight) is int:
                try:
                    weight = float(weight)
                except OverflowError:
                    return None
            elif type(weight) is not float:
                return None
            weights.append(weight)
        ends.append(u)
        ends.append(v)
    ends = packed(ends, WORD)
    return None if ends is None else (ends, packed(weights, "d"))


def build_levels(items, starts, level_ends, table):
    if table is None:
        ids = list(words(items, WORD))
    else:
        table = list(words(table, WORD))
        ids = [table[x] for x in words(items, WORD)]
    starts = words(starts, WORD)
    levels = []
    first = 0
    for end in words(level_ends, WORD):
        levels.append([set(ids[starts[c]:starts[c + 1]]) for c in range(first, end)])
        first = end
    return levels


def vertex_table(data):
    """The caller's vertex ids, indexed by dense id."""
    return list(words(data, WORD))


def build_persistence(records, table, levels, items, starts, births, deaths):
    """Appends one chunk of records; `items` are 32-bit dense ids into `table`,
    and `starts` index this chunk's `items`."""
    items = words(items, "I")
    starts = words(starts, WORD)
    births = words(births, "d")
    deaths = words(deaths, "d")
    for r, q in enumerate(words(levels, WORD)):
        vertices = [table[x] for x in items[starts[r]:starts[r + 1]]]
        records.append(((q, vertices), births[r], deaths[r]))
)PY";

}  // namespace korvane
