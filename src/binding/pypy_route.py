# The Python half of the binding's route on PyPy, where every object that
# crosses the C-extension layer costs far more than the work done on it, while
# plain Python loops are compiled by the JIT and lists and sets of ints are
# stored unboxed. Arguments of the common shapes are flattened here into arrays
# of 64-bit words, and results are built here from arrays of words that the
# binding fills: a call crosses the layer a handful of times instead of once
# per object.
#
# Words are signed 64-bit (WORD), whose arrays PyPy turns into lists of ints
# and back in bulk; ids of 2**63 and above take the generic route. A
# flattening function accepts only exact lists and tuples of exact ints in
# 0 .. 2**63-1 (and floats for weights); for anything else it returns None,
# touching nothing, and the binding converts the argument itself, raising
# exactly the errors it always raises.
#
# The build embeds this file in the extension (src/binding/CMakeLists.txt),
# which runs it once, at import on PyPy, in a namespace of its own, and takes
# the functions it calls from there by name (src/binding/pypy_route.cpp).

from array import array
import gc

WORD = "l" if array("l").itemsize == 8 else "q"


def signal_checkpoint():
    # PyPy runs pending signal handlers where a loop jumps back, in compiled
    # code too; a function without a loop, once called often enough to be
    # compiled, would never give them their turn.
    for _ in (0,):
        pass


def blank_array(count, itemsize, floating):
    # The binding copies a result's words straight into the storage of an
    # array made here, which does not move while the array keeps its length.
    # An array is indexed by compiled loops without boxing its items; a list
    # made of it only to be read again would be garbage the size of the result.
    # 64-bit ints are WORD, as in the flattening: PyPy makes lists of "q"
    # arrays two to three times slower.
    typecode = "d" if floating else "I" if itemsize == 4 else WORD
    numbers = array(typecode, [0]) * count
    if numbers.itemsize != itemsize:
        raise SystemError("korvane: array('%s') items are not %d bytes" % (typecode, itemsize))
    return numbers, numbers.buffer_info()[0]


def located(words):
    """An array, its address and its size in bytes, for the binding to copy
    from; bytes would be copied once more, into the C object that PyPy makes
    for them, and freed only by a later collection."""
    address, count = words.buffer_info()
    return words, address, count * words.itemsize


def packed(numbers, typecode):
    try:
        return located(array(typecode, numbers))
    except (OverflowError, TypeError):
        return None


# The flat lists are made at their full length and filled in place: a list
# grown by appending is copied at every eighth of its length, garbage some
# eight times its size. Another thread may change the argument meanwhile; a
# count that no longer agrees, or an item that is no longer an int, hands the
# argument to the generic conversion.


def flatten_simplices(simplices):
    if type(simplices) is not list and type(simplices) is not tuple:
        return None
    starts = [0] * (len(simplices) + 1)
    total = 0
    i = 0
    for simplex in simplices:
        if type(simplex) is not list and type(simplex) is not tuple:
            return None
        for vertex in simplex:
            if type(vertex) is not int or vertex < 0:
                return None
        total += len(simplex)
        i += 1
        if i == len(starts):
            return None
        starts[i] = total
    if i + 1 != len(starts):
        return None
    vertices = [0] * total
    i = 0
    for simplex in simplices:
        if i + 1 == len(starts) or len(simplex) != starts[i + 1] - starts[i]:
            return None
        vertices[starts[i]:starts[i + 1]] = simplex
        i += 1
    # A simplex whose length changed between its check and its copy, or
    # simplices that ran out early, would leave the words out of step with
    # the starts, and the binding would read past them.
    if i + 1 != len(starts) or len(vertices) != total:
        return None
    vertices = packed(vertices, WORD)
    return None if vertices is None else (vertices, packed(starts, WORD))


def flatten_ints(numbers):
    """A list or tuple of non-negative ints as one array; anything else, or a
    negative int, is left to the generic conversion and its errors."""
    if type(numbers) is not list and type(numbers) is not tuple:
        return None
    words = packed(numbers, WORD)
    if words is None or (len(numbers) > 0 and min(words[0]) < 0):
        return None
    return words


def flatten_edges(edges, width):
    """Edge tuples of `width` 2 (u, v) or 3 (u, v, weight), written straight
    into arrays made at their full length: an array's items are stored
    unboxed, and making one of a list is a slow pass of its own."""
    if type(edges) is not list and type(edges) is not tuple:
        return None
    count = len(edges)
    ends = array(WORD, bytes(16 * count))
    weights = array("d", bytes(8 * count) if width == 3 else b"")
    i = 0
    try:
        for edge in edges:
            if i == count or type(edge) is not tuple or len(edge) != width:
                return None
            u = edge[0]
            v = edge[1]
            if type(u) is not int or type(v) is not int or u < 0 or v < 0:
                return None
            if width == 3:
                weight = edge[2]
                if type(weight) is int:
                    weight = float(weight)
                elif type(weight) is not float:
                    return None
                weights[i] = weight
            ends[2 * i] = u
            ends[2 * i + 1] = v
            i += 1
    except OverflowError:
        # An id of 2**63 or more, or an int weight beyond the floats.
        return None
    if i != count:
        return None
    return located(ends), located(weights)


# PyPy's major collections mark every live object, and the next starts once
# the heap has grown by a share of what the last one found alive: while a
# result of many sets is built they would run again and again over its
# finished part, none of which can be garbage yet. They are paused while such
# a result is built; the first one afterwards sees it whole. Small results
# are built unpaused: there the pause would cover most of a call, and a major
# collection in progress, which advances only unpaused, would fall behind the
# garbage of repeated calls.
PAUSED_FROM_SETS = 1 << 16


def built(large, build, *arguments):
    """build(*arguments), with major collections paused if `large` and the
    collector is enabled."""
    if not large or not gc.isenabled():
        return build(*arguments)
    try:  # disabled inside: a KeyboardInterrupt can land between two lines
        gc.disable()
        return build(*arguments)
    finally:
        gc.enable()


def build_levels(items, starts, level_ends, table):
    return built(len(starts) > PAUSED_FROM_SETS, levels_of, items, starts, level_ends, table)


def levels_of(items, starts, level_ends, table):
    if table is None:
        ids = list(items)
    else:
        table = list(table)
        ids = [table[x] for x in items]
    levels = []
    first = 0
    for end in level_ends:
        levels.append([set(ids[starts[c]:starts[c + 1]]) for c in range(first, end)])
        first = end
    return levels


def vertex_table(ids):
    """The caller's vertex ids, indexed by dense id."""
    return list(ids)


# Persistence records are built a chunk at a time into lists that the binding
# never holds: on PyPy, a list that the binding made, or held, before it was
# filled is freed, with all it holds, only a collection later, and repeated
# calls grew the heap. `chunks`, which the binding holds, is left empty.


def record_chunks():
    return []


def build_persistence(chunks, table, count, large, levels, items, starts, births, deaths):
    """Appends to `chunks` the list of one chunk's `count` records, the first
    items of the arrays; `items` are dense ids into `table`, and `starts`
    index this chunk's `items`. Major collections are paused while a chunk
    of a `large` result is built, as while levels are."""
    chunks.append(built(large, chunk_records, table, count, levels, items, starts, births, deaths))


def chunk_records(table, count, levels, items, starts, births, deaths):
    records = [None] * count
    # Each list is made at its length and filled by a plain loop: a slice of
    # `items` would be a copy, garbage as large as the ids, and a comprehension
    # a function call per record.
    i = 0
    for r in range(count):
        end = starts[r + 1]
        vertices = [0] * (end - i)
        k = 0
        while i < end:
            vertices[k] = table[items[i]]
            i += 1
            k += 1
        records[r] = ((levels[r], vertices), births[r], deaths[r])
    return records


def joined(chunks):
    """All the records, in a list made at its full length."""
    if len(chunks) == 1:
        return chunks.pop()
    records = [None] * sum(len(chunk) for chunk in chunks)
    at = 0
    while chunks:
        chunk = chunks.pop(0)
        records[at:at + len(chunk)] = chunk
        at += len(chunk)
    return records
