"""Memory stays flat over tens of thousands of calls, successful and failing.

Each case calls one function with the same arguments many times, in windows of
WINDOW calls after a warm-up. The process's resident size must come to rest: a
leak grows every window, while warming up (PyPy's JIT and GC) grows only the
first few. On CPython the memory of Python objects (tracemalloc) must not grow
at all, and every object reachable from the arguments must keep its reference
count. Failing cases fail late, after part of the input has been converted, so
that every error path has something to free.
"""

import gc
import math
import os
import platform
import random
import sys
from array import array

import pytest

import korvane

from helpers import (
    Failure,
    FailingFloat,
    FailingIndex,
    FailsMidway,
    Indexed,
    graph,
    hierarchy,
    persistence,
    reachable,
    reference_counts,
)


def under_address_sanitizer():
    try:
        with open("/proc/self/maps") as maps:
            return "libasan" in maps.read()
    except OSError:
        return False


CPYTHON = sys.implementation.name == "cpython"
# AddressSanitizer keeps freed memory in quarantine, so the resident size grows
# there whether or not anything leaks; under it only the counts of objects are
# checked, which needs far fewer calls.
WATCH_RESIDENT = not under_address_sanitizer()
WARM_UP = 5_000 if WATCH_RESIDENT else 3_000
WINDOW = 10_000 if WATCH_RESIDENT else 2_000
MIN_WINDOWS, MAX_WINDOWS = 2, 6

# A leak of 32 bytes per call grows a window by 320 kB; the successful cases
# lose kilobytes per call if their containers leak.
RESIDENT_AT_REST = 256 << 10
TRACED_GROWTH_LIMIT = 32 << 10


def big(n):
    """An int object of our own (not one of the interpreter's shared small ints)."""
    return 10**12 + n


SIMPLICES = [[big(i % 40), big((i * 7) % 40), big((i * 13) % 40), i % 5] for i in range(80)]
EDGES = [(big(i % 30), big((i * 11 + 1) % 30)) for i in range(90)]
WEIGHTED = [(u, v, float(i) / 7) for i, (u, v) in enumerate(EDGES[:40])]
# Compressed sparse rows of 30 vertices, 4 neighbours each, one of them read
# through __index__; and node labels for adjacency mappings.
INDPTR = list(range(0, 121, 4))
INDICES = [Indexed((i * 7 + j) % 30) if j == 3 else (i * 7 + j) % 30 for i in range(30) for j in range(4)]
NODES = [(i, "n") for i in range(20)]
communities = korvane.clique_communities

CASES = {
    "hierarchy": (hierarchy, (SIMPLICES,), {}, None),
    "hierarchy by keyword, tuples and ranges": (hierarchy, (), {"py_simplices": (range(6), (1, 2), tuple(SIMPLICES[0]))}, None),
    "hierarchy, vertices through __index__": (hierarchy, ([[Indexed(big(i)), Indexed(big(i + 1))] for i in range(30)],), {}, None),
    "hierarchy, too many arguments": (hierarchy, (SIMPLICES, None), {}, TypeError),
    "hierarchy, unexpected keyword": (hierarchy, (SIMPLICES,), {"max_q": 1}, TypeError),
    "hierarchy, repeated argument": (hierarchy, (SIMPLICES,), {"py_simplices": SIMPLICES}, TypeError),
    "hierarchy, missing argument": (hierarchy, (), {}, TypeError),
    "hierarchy, str": (hierarchy, ("abc",), {}, TypeError),
    "hierarchy, late str simplex": (hierarchy, (SIMPLICES + ["ab"],), {}, TypeError),
    "hierarchy, not a sequence": (hierarchy, ({1, 2},), {}, TypeError),
    "hierarchy, late negative vertex": (hierarchy, (SIMPLICES + [[big(1), -1]],), {}, OverflowError),
    "hierarchy, late huge vertex": (hierarchy, (SIMPLICES + [[2**64]],), {}, OverflowError),
    "hierarchy, late float vertex": (hierarchy, (SIMPLICES + [[1.5]],), {}, TypeError),
    "hierarchy, failing __index__": (hierarchy, (SIMPLICES + [[1, FailingIndex()]],), {}, Failure),
    "hierarchy, iteration fails": (hierarchy, (FailsMidway(SIMPLICES),), {}, Failure),
    "graph": (graph, (EDGES, None), {}, None),
    "graph, capped, by keyword": (graph, (), {"edges": EDGES, "max_q": 2}, None),
    "graph, max_q through __index__": (graph, (EDGES, Indexed(big(3))), {}, None),
    "graph, missing max_q": (graph, (EDGES,), {}, TypeError),
    "graph, late list edge": (graph, (EDGES + [[1, 2]], None), {}, TypeError),
    "graph, late short tuple": (graph, (EDGES + [(1,)], None), {}, ValueError),
    "graph, late negative vertex": (graph, (EDGES + [(1, -2)], None), {}, OverflowError),
    "graph, negative max_q": (graph, (EDGES, -1), {}, OverflowError),
    "graph, float max_q": (graph, (EDGES, 2.0), {}, TypeError),
    "graph, failing max_q": (graph, (EDGES, FailingIndex()), {}, Failure),
    "graph, iteration fails": (graph, (FailsMidway(EDGES), None), {}, Failure),
    "communities": (communities, (INDPTR, INDICES, 3), {}, None),
    "communities, arrays, by keyword": (communities, (), {"indptr": array("l", INDPTR), "indices": tuple(range(30)) * 4, "k": 2}, None),
    "communities, late vertex out of range": (communities, (INDPTR, INDICES[:-1] + [30], 3), {}, ValueError),
    "communities, late negative vertex": (communities, (INDPTR, INDICES[:-1] + [-1], 3), {}, OverflowError),
    "communities, failing __index__": (communities, (INDPTR, INDICES[:-1] + [FailingIndex()], 3), {}, Failure),
    "communities, indptr past the end": (communities, (INDPTR[:-1] + [121], INDICES, 3), {}, ValueError),
    "communities, k of 1": (communities, (INDPTR, INDICES, 1), {}, ValueError),
    "adjacency rows": (korvane.adjacency_rows, ({NODES[i]: {NODES[j]: {} for j in range(i)} for i in range(20)},), {}, None),
    "adjacency rows, neighbours by equality": (korvane.adjacency_rows, ({(i, "n"): [(i - 1, "n")] for i in range(1, 20)} | {(0, "n"): []},), {}, None),
    "adjacency rows, late unknown neighbour": (korvane.adjacency_rows, ({i: [i - 1] for i in range(20)},), {}, KeyError),
    "adjacency rows, not a mapping": (korvane.adjacency_rows, ([1, 2],), {}, TypeError),
    "persistence": (persistence, (WEIGHTED, None), {}, None),
    "persistence, capped": (persistence, (WEIGHTED, 2), {}, None),
    "persistence, late 2-tuple": (persistence, (WEIGHTED + [(1, 2)], None), {}, ValueError),
    "persistence, late str weight": (persistence, (WEIGHTED + [(1, 2, "w")], None), {}, TypeError),
    "persistence, failing weight": (persistence, (WEIGHTED + [(1, 2, FailingFloat())], None), {}, Failure),
    "persistence, huge int weight": (persistence, (WEIGHTED + [(1, 2, 10**400)], None), {}, OverflowError),
    "persistence, negative max_q": (persistence, (WEIGHTED, -5), {}, OverflowError),
}


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def repeat(call, times):
    for _ in range(times):
        call()


def settle():
    gc.collect()
    gc.collect()


@pytest.mark.skipif(not os.path.exists("/proc/self/statm"), reason="reads the resident size from /proc")
@pytest.mark.parametrize("case", CASES)
def test_memory_stays_flat_over_repeated_calls(case):
    function, args, kwargs, error = CASES[case]

    def call():
        if error is None:
            function(*args, **kwargs)
        else:
            with pytest.raises(error):
                function(*args, **kwargs)

    tracked = reachable(list(args) + list(kwargs.values()))
    settle()
    if CPYTHON:
        import tracemalloc

        counts = reference_counts(tracked)
        tracemalloc.start()
    growth = []
    try:
        repeat(call, WARM_UP)
        settle()
        resident = resident_bytes()
        traced = tracemalloc.get_traced_memory()[0] if CPYTHON else 0
        while len(growth) < MAX_WINDOWS:
            repeat(call, WINDOW)
            settle()
            growth.append(resident_bytes() - resident)
            resident += growth[-1]
            if len(growth) >= MIN_WINDOWS and (growth[-1] < RESIDENT_AT_REST or not WATCH_RESIDENT):
                break
        traced_growth = tracemalloc.get_traced_memory()[0] - traced if CPYTHON else 0
    finally:
        if CPYTHON:
            tracemalloc.stop()

    if WATCH_RESIDENT:
        assert growth[-1] < RESIDENT_AT_REST, f"resident size grew in every window of {WINDOW} calls: {growth}"
    assert traced_growth < TRACED_GROWTH_LIMIT, f"Python objects grew by {traced_growth} bytes"
    if CPYTHON:
        changed = [(obj, b, a) for obj, b, a in zip(tracked, counts, reference_counts(tracked)) if a != b]
        assert not changed, f"reference counts changed (object, before, after): {changed}"


@pytest.mark.skipif(CPYTHON, reason="PyPy's collector and its C-extension layer")
@pytest.mark.parametrize("count", [1_000, 8_000])
def test_dropped_results_are_freed_by_one_collection(count):
    """On PyPy a list that crosses into the binding before it is filled is
    freed a collection late, with all it holds, and repeated calls grow the
    heap. Persistence records of one chunk (some 10 thousand ids) and of two
    (120 thousand) must be freed by the first collection once dropped."""
    weighted = [(i, i + 1, float((i + 1) & -(i + 1))) for i in range(count)]
    # Garbage that earlier tests left for more than one collection is freed
    # first, so that only these calls' can show below.
    settle()
    repeat(lambda: persistence(weighted, None), 100)
    gc.collect()
    once = gc.get_stats()._s.total_gc_memory  # bytes held by the collector
    settle()
    assert once - gc.get_stats()._s.total_gc_memory < 2 << 20


@pytest.mark.skipif(platform.libc_ver()[0] != "glibc" or not WATCH_RESIDENT, reason="glibc's heap trimming")
@pytest.mark.skipif(not CPYTHON, reason="PyPy's collector faults in memory of its own")
def test_repeated_small_calls_reuse_their_scratch_memory():
    """glibc gives a freed heap top of more than 128 KiB back to the system,
    and a call that then allocates it again faults every page in anew: a
    sixth of the time of a call on a small dense graph. Calls whose scratch
    takes a few hundred KiB must reuse it instead."""
    import resource
    rng = random.Random(30)
    points = [(rng.random(), rng.random()) for _ in range(30)]
    weighted = [(u, v, math.dist(points[u], points[v])) for u in range(30) for v in range(u + 1, 30)]
    repeat(lambda: persistence(weighted, None), 5)
    before = resource.getrusage(resource.RUSAGE_SELF).ru_minflt
    repeat(lambda: persistence(weighted, None), 50)
    faults = resource.getrusage(resource.RUSAGE_SELF).ru_minflt - before
    assert faults < 10 * 50, f"{faults / 50:.0f} page faults per call"
