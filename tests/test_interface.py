"""The Python face of korvane: parsing, conversion, result shapes, failures."""

import copy
import ctypes
import gc
import inspect
import pickle
import sys
import textwrap
from pathlib import Path

import pytest

import korvane
from helpers import Child, Failure, FailsMidway, Indexed, LengthFails, Nameless, graph, hierarchy, persistence

NAMES = [
    "py_find_hierarchical_q_components",
    "py_calculate_persistent_q_components",
    "py_find_hierarchical_q_components_within_graph",
]



# ---------------------------------------------------------------- the module


def test_module_lists_its_functions_in_order():
    assert korvane.__all__ == NAMES
    assert korvane.__doc__ == ""
    assert "PanicException" not in korvane.__all__


@pytest.mark.parametrize(
    "function, parameters",
    [(hierarchy, ["py_simplices"]), (graph, ["edges", "max_q"]), (persistence, ["edges", "max_q"])],
)
def test_functions_are_module_level_builtins(function, parameters):
    assert type(function).__name__ == "builtin_function_or_method"
    assert function.__module__ == "korvane"
    if sys.implementation.name == "cpython":  # PyPy's built-in functions have no __self__
        assert function.__self__ is korvane
    assert pickle.loads(pickle.dumps(function)) is function
    assert function.__text_signature__ == "(" + ", ".join(parameters) + ")"
    signature = inspect.signature(function)
    assert list(signature.parameters) == parameters
    assert all(
        p.kind is inspect.Parameter.POSITIONAL_OR_KEYWORD and p.default is inspect.Parameter.empty
        for p in signature.parameters.values()
    )


def test_panic_exception_escapes_ordinary_handlers():
    panic = korvane.PanicException
    assert issubclass(panic, BaseException)
    assert not issubclass(panic, Exception)
    assert f"{panic.__module__}.{panic.__qualname__}" == "korvane.PanicException"


@pytest.mark.skipif(not hasattr(ctypes, "PyDLL"), reason="needs ctypes.PyDLL, which PyPy lacks")
def test_initialising_again_returns_the_same_module():
    library = ctypes.PyDLL(korvane.__file__)
    library.PyInit_korvane.restype = ctypes.py_object
    assert library.PyInit_korvane() is korvane
    assert library.PyInit_korvane() is korvane


# ---------------------------------------------------------------- argument parsing

H = "py_find_hierarchical_q_components()"
G = "py_find_hierarchical_q_components_within_graph()"
P = "py_calculate_persistent_q_components()"


@pytest.mark.parametrize(
    "function, args, kwargs, message",
    [
        (hierarchy, (), {}, f"{H} missing 1 required positional argument: 'py_simplices'"),
        (graph, ([],), {}, f"{G} missing 1 required positional argument: 'max_q'"),
        (persistence, (), {"max_q": None}, f"{P} missing 1 required positional argument: 'edges'"),
        (graph, (), {}, f"{G} missing 2 required positional arguments: 'edges' and 'max_q'"),
        (hierarchy, ([], []), {}, f"{H} takes 1 positional arguments but 2 were given"),
        (graph, ([], None, 3), {}, f"{G} takes 2 positional arguments but 3 were given"),
        (hierarchy, ([],), {"py_simplices": []}, f"{H} got multiple values for argument 'py_simplices'"),
        (persistence, ([], None), {"max_q": None}, f"{P} got multiple values for argument 'max_q'"),
        (hierarchy, ([],), {"simplices": []}, f"{H} got an unexpected keyword argument 'simplices'"),
        # too many positional arguments is reported before any keyword
        (hierarchy, ([], []), {"bogus": 1}, f"{H} takes 1 positional arguments but 2 were given"),
        # keywords are checked in call order, before missing parameters
        (graph, ([],), {"edges": [], "bogus": 1}, f"{G} got multiple values for argument 'edges'"),
        (graph, ([],), {"bogus": 1, "edges": []}, f"{G} got an unexpected keyword argument 'bogus'"),
        (persistence, (), {"bogus": 1}, f"{P} got an unexpected keyword argument 'bogus'"),
        # parsing comes before any conversion
        (hierarchy, ("abc",), {"bogus": 1}, f"{H} got an unexpected keyword argument 'bogus'"),
    ],
)
def test_argument_errors(function, args, kwargs, message):
    with pytest.raises(TypeError) as caught:
        function(*args, **kwargs)
    assert str(caught.value) == message


def test_keyword_that_is_not_utf8_is_unexpected():
    with pytest.raises(TypeError) as caught:
        hierarchy([], **{"py_simplices\udc80": 1})
    assert str(caught.value) == f"{H} got an unexpected keyword argument 'py_simplices\udc80'"


@pytest.mark.parametrize(
    "call",
    [
        lambda: graph(edges=[], max_q=None),
        lambda: graph(max_q=None, edges=[]),
        lambda: persistence(max_q=0, edges=()),
    ],
)
def test_keywords_fill_parameters(call):
    assert call() == []


# ---------------------------------------------------------------- argument conversion

STR_REFUSED = "Can't extract `str` to `Vec`"


class Outer:
    class Opaque:
        pass


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda: hierarchy("abc"), TypeError, STR_REFUSED),
        (lambda: hierarchy(["ab"]), TypeError, STR_REFUSED),
        (lambda: hierarchy([[0], ""]), TypeError, STR_REFUSED),
        (lambda: graph("ab", None), TypeError, STR_REFUSED),
        (lambda: hierarchy(5), TypeError, "'int' object cannot be converted to 'Sequence'"),
        (lambda: hierarchy([[0], {1, 2}]), TypeError, "'set' object cannot be converted to 'Sequence'"),
        (lambda: graph({(0, 1)}, None), TypeError, "'set' object cannot be converted to 'Sequence'"),
        (lambda: persistence(Outer.Opaque(), None), TypeError, "'Outer.Opaque' object cannot be converted to 'Sequence'"),
        (
            lambda: hierarchy([Nameless()]),
            TypeError,
            "'<failed to extract type name>' object cannot be converted to 'Sequence'",
        ),
        (lambda: graph([(0, 1), [1, 2]], None), TypeError, "'list' object cannot be converted to 'PyTuple'"),
        (lambda: persistence([[0, 1, 2.0]], None), TypeError, "'list' object cannot be converted to 'PyTuple'"),
        (lambda: graph([(0, 1, 2)], None), ValueError, "expected tuple of length 2, but got tuple of length 3"),
        (lambda: persistence([(0, 1)], None), ValueError, "expected tuple of length 3, but got tuple of length 2"),
        (lambda: persistence([(0, 1, 2, 3)], 1), ValueError, "expected tuple of length 3, but got tuple of length 4"),
        (lambda: hierarchy([[1, -1]]), OverflowError, None),
        (lambda: hierarchy([[0, 1]] * 3000 + [[1, -1]]), OverflowError, None),
        (lambda: graph([(0, 1)] * 3000 + [(1, True, 2)], None), ValueError, "expected tuple of length 2, but got tuple of length 3"),
        (lambda: persistence([(0, 1, 0.5)] * 3000 + [(0, 1, 10**400)], None), OverflowError, None),
        (lambda: hierarchy([[2**64]]), OverflowError, None),
        (lambda: persistence([(2**64, 0, 1.0)], None), OverflowError, None),
        (lambda: hierarchy([[1.0]]), TypeError, "'float' object cannot be interpreted as an integer"),
        (lambda: graph([(0, "1")], None), TypeError, "'str' object cannot be interpreted as an integer"),
        (lambda: persistence([(0, 1, "2")], None), TypeError, None),
        (lambda: graph([], -1), OverflowError, None),
        (lambda: persistence([], 2**64), OverflowError, None),
        (lambda: graph([], 1.5), TypeError, "'float' object cannot be interpreted as an integer"),
        # the edges are converted before max_q, so their error wins
        (lambda: graph([[0, 1]], -1), TypeError, "'list' object cannot be converted to 'PyTuple'"),
        (lambda: persistence([(0, 1)], "x"), ValueError, "expected tuple of length 3, but got tuple of length 2"),
    ],
)
def test_conversion_errors(call, error, message):
    with pytest.raises(error) as caught:
        call()
    assert type(caught.value) is error
    if message is not None:
        assert str(caught.value) == message


@pytest.mark.parametrize(
    "call",
    [
        lambda: hierarchy(FailsMidway([[0]], 0)),
        lambda: hierarchy([[0], FailsMidway([1, 2], 1)]),
        lambda: graph(FailsMidway([(0, 1), (1, 2)], 1), None),
        lambda: persistence(FailsMidway([(0, 1, 0.5)], 1), None),
    ],
)
def test_iteration_errors_pass_through_unchanged(call):
    with pytest.raises(Failure) as caught:
        call()
    assert caught.value.args == ("__next__",)


class Weight:
    def __float__(self):
        return 0.25


SIMPLICES = [[0, 1, 2], [1, 2, 3], [4]]
EDGES = [(0, 1), (0, 2), (1, 2), (2, 3)]
WEIGHTED = [(1, 2, 0.5), (2, 3, 0.25)]


@pytest.mark.parametrize(
    "call, same_as",
    [
        (lambda: hierarchy(tuple(map(tuple, SIMPLICES))), lambda: hierarchy(SIMPLICES)),
        (lambda: hierarchy([range(3), b"\x01\x02\x03", (4,)]), lambda: hierarchy(SIMPLICES)),
        (lambda: hierarchy(LengthFails([[Indexed(0), True, 2], [1, 2, 3], [4]])), lambda: hierarchy(SIMPLICES)),
        (lambda: hierarchy([[0, 0, 1, 2], [3, 1, 2], [4, 4]]), lambda: hierarchy(SIMPLICES)),
        (lambda: graph(tuple(EDGES), Indexed(3)), lambda: graph(EDGES, 3)),
        (lambda: graph(LengthFails(EDGES), None), lambda: graph(EDGES, None)),
        (lambda: persistence([(1, 2, 0.5), (2, 3, Weight())], None), lambda: persistence(WEIGHTED, None)),
        (lambda: persistence([(Indexed(1), 2, 0.5), (2, 3, 0.25)], True), lambda: persistence(WEIGHTED, 1)),
    ],
)
def test_other_sequences_and_numbers_convert_alike(call, same_as):
    assert call() == same_as()


@pytest.mark.parametrize("offset", [2**63 - 3, 2**64 - 5])
def test_ids_around_and_above_two_to_the_63_keep_their_values(offset):
    def shift(v):
        return offset + v

    assert hierarchy([[shift(v) for v in s] for s in SIMPLICES]) == hierarchy(SIMPLICES)
    assert graph([(shift(u), shift(v)) for u, v in EDGES], None) == [
        [{shift(v) for v in c} for c in level] for level in graph(EDGES, None)
    ]
    assert persistence([(shift(u), shift(v), w) for u, v, w in WEIGHTED], None) == [
        ((q, [shift(v) for v in vertices]), birth, death) for (q, vertices), birth, death in persistence(WEIGHTED, None)
    ]


def test_large_results_match_across_conversion_routes():
    """Tens of thousands of ids, one component larger than any chunk that PyPy
    builds at a time: ids below 2**63 take the flat route there, ids shifted
    above it the object-by-object one; both must agree."""
    n = 4_200
    # Edge (i, i + 1) weighs the lowest set bit of i + 1: blocks merge pairwise.
    weighted = [(i, i + 1, float((i + 1) & -(i + 1))) for i in range(n)]
    edges = [(u, v) for u, v, _ in weighted]
    shift = 2**63

    records = persistence(weighted, None)
    assert sum(len(vertices) for (_, vertices), _, _ in records) > 50_000
    assert max(len(vertices) for (_, vertices), _, _ in records) == n + 1
    assert persistence([(u + shift, v + shift, w) for u, v, w in weighted], None) == [
        ((q, [v + shift for v in vertices]), birth, death) for (q, vertices), birth, death in records
    ]
    assert graph([(u + shift, v + shift) for u, v in edges], None) == [
        [{v + shift for v in c} for c in level] for level in graph(edges, None)
    ]
    simplices = [list(range(i, i + 1 + i % 7)) for i in range(n)]
    assert hierarchy([[v + shift for v in s] for s in simplices]) == hierarchy(simplices)


@pytest.mark.parametrize(
    "simplices",
    [
        [[], [], []],
        [[], [1, 2], [], (2, 3), [3], []],
        [(5, 5, 5), [5], (), [1, 0, 1, 0]],
        [[7]] * 5 + [list(range(40))] + [[]] * 3,
    ],
)
def test_simplices_with_empty_and_repeated_parts_match_across_conversion_routes(simplices):
    """Ids below 2**63 are flattened into one list sliced by offsets on PyPy;
    shifted above it they are converted one by one: both must agree."""
    shift = 2**63
    assert hierarchy([[v + shift for v in s] for s in simplices]) == hierarchy(simplices)


def shrink_simplex(simplices, simplex):
    del simplex[0]


def shrink_list(simplices, simplex):
    if simplices[-1] is not simplex:
        simplices.pop()


@pytest.mark.skipif(sys.implementation.name != "pypy", reason="only PyPy converts through Python code")
@pytest.mark.parametrize("change", [shrink_simplex, shrink_list])
def test_simplices_changed_while_flattened_are_converted_as_they_end_up(change):
    """Another thread may change the simplices while PyPy's route flattens
    them. Here they change, through a trace function, at the worst moment:
    after the route has checked a simplex's length and before it copies the
    simplex. The flat words then no longer agree with the counts taken
    before; the argument must go to the generic conversion, never reach the
    core out of step (which read past the words it was given)."""
    route = (Path(__file__).resolve().parent.parent / "src" / "binding" / "pypy_route.py").read_text()
    copy_line = 1 + route.splitlines().index("        vertices[starts[i]:starts[i + 1]] = simplex")
    changes = []

    def trace(frame, event, arg):
        if frame.f_code.co_name != "flatten_simplices":
            return None

        def each_line(frame, event, arg):
            if event == "line" and frame.f_lineno == copy_line:
                simplex = frame.f_locals["simplex"]
                if len(simplex) == 3:
                    change(simplices, simplex)
                    changes.append(change)
            return each_line

        return each_line

    simplices = [[1_000 + k, 2_000 + k, 3_000 + k] for k in range(40)]
    sys.settrace(trace)
    try:
        result = hierarchy(simplices)
    finally:
        sys.settrace(None)
    assert changes
    assert result == hierarchy(simplices)


@pytest.mark.parametrize("count", [0, 1, 2, 1_000])
def test_every_edge_and_weight_keeps_its_place_across_conversion_routes(count):
    # Edge i weighs i: each edge is its own step, so a weight or an end read
    # from a neighbouring slot would move a birth or a death.
    weighted = [(i, i + 1 + i % 3, float(i)) for i in range(count)]
    shift = 2**63
    assert persistence([(u + shift, v + shift, w) for u, v, w in weighted], None) == [
        ((q, [v + shift for v in vertices]), birth, death)
        for (q, vertices), birth, death in persistence(weighted, None)
    ]
    edges = [(u, v) for u, v, _ in weighted]
    assert graph([(u + shift, v + shift) for u, v in edges], 2) == [
        [{v + shift for v in c} for c in level] for level in graph(edges, 2)
    ]


def test_largest_vertex_id_is_accepted():
    top = 2**64 - 1
    hierarchy([[top, 0]])
    graph([(top, 0)], top)
    persistence([(top, 0, 1.0)], top)


def test_arguments_are_left_unchanged():
    simplices = [[0, 1, 2], (1, 2, 3), [4]]
    edges = [(0, 1), (1, 2)]
    weighted = [(1, 2, 0.5), (2, 3, 1)]
    before = copy.deepcopy((simplices, edges, weighted))
    hierarchy(simplices)
    graph(edges, None)
    persistence(weighted, None)
    assert (simplices, edges, weighted) == before


@pytest.mark.skipif(not hasattr(sys, "getrefcount"), reason="reference counts are CPython's")
def test_calls_release_their_argument_references():
    vertex = 10**12 + 7  # a fresh int object whose count we can follow
    weight = 1e300
    good = [[vertex, 1]], [(vertex, 1)], [(vertex, 1, weight)]
    bad = [[vertex, -1]], [(vertex, -1)], [(vertex, 1, weight), (1, 2)]
    counts = sys.getrefcount(vertex), sys.getrefcount(weight)
    for _ in range(3):
        hierarchy(good[0])
        graph(good[1], vertex)
        persistence(good[2], vertex)
        for call in (lambda: hierarchy(bad[0]), lambda: graph(bad[1], None), lambda: persistence(bad[2], None)):
            with pytest.raises((OverflowError, ValueError)):
                call()
    assert (sys.getrefcount(vertex), sys.getrefcount(weight)) == counts


# ---------------------------------------------------------------- results


def test_empty_inputs():
    assert hierarchy([]) == []
    assert graph([], None) == []
    assert graph((), 0) == []
    assert persistence([], None) == []


def test_hierarchy_result_is_levels_of_sets_of_indices():
    levels = hierarchy(SIMPLICES)
    assert type(levels) is list and len(levels) == 3
    for level in levels:
        assert type(level) is list
        for component in level:
            assert type(component) is set
            assert all(type(index) is int for index in component)
    assert sorted(map(sorted, levels[0])) == [[0, 1], [2]]
    assert hierarchy([[], []]) == [[]]


def test_graph_result_is_levels_of_sets_of_vertex_ids():
    levels = graph(EDGES, None)
    assert [sorted(map(sorted, level)) for level in levels] == [[[0, 1, 2, 3]], [[0, 1, 2], [2, 3]], [[0, 1, 2]]]
    assert all(type(c) is set and all(type(v) is int for v in c) for level in levels for c in level)
    assert graph([(5, 5)], None) == [[{5}]]


def test_persistence_records_have_int_levels_vertex_lists_and_float_weights():
    records = persistence([(1, 2, 3), (2, 3, 1)], None)
    for (q, vertices), birth, death in records:
        assert type(q) is int
        assert type(vertices) is list and vertices == sorted(vertices)
        assert all(type(v) is int for v in vertices)
        assert type(birth) is float and type(death) is float
    assert ((0, [2, 3]), 1.0, 3.0) in records
    assert ((1, [1, 2]), 3.0, 3.0) in records


def test_large_results_leave_the_collector_as_they_found_it():
    """A result of many sets or ids is built with the collector paused on
    either interpreter; enabled or disabled by the caller, it must stay so."""
    n = 70_000
    simplices = [[i] for i in range(n)]
    edges = [(2 * i, 2 * i + 1) for i in range(n)]
    # Edge (i, i + 1) weighs the lowest set bit of i + 1: blocks merge
    # pairwise, some 120 thousand ids in all.
    chain = [(i, i + 1, float((i + 1) & -(i + 1))) for i in range(8_000)]
    try:
        for enabled in (True, False):
            (gc.enable if enabled else gc.disable)()
            assert [len(level) for level in hierarchy(simplices)] == [n]
            assert [len(level) for level in graph(edges, None)] == [n, n]
            assert sum(len(vertices) for (_, vertices), _, _ in persistence(chain, None)) > 100_000
            assert gc.isenabled() is enabled
    finally:
        gc.enable()


def test_a_result_holds_one_int_object_per_value():
    big = 2**64 - 1  # beyond the interpreter's cached small ints
    simplices = [[big, 0], [big, 1], [0, 1, big]] * 200
    edges = [(big - v, big - (v + 1) % 5) for v in range(5)] + [(big, big - 1)]
    weighted = [(u, v, float(w)) for w, (u, v) in enumerate(edges)]
    ints = {
        "hierarchy": [i for level in hierarchy(simplices) for c in level for i in c],
        "graph": [v for level in graph(edges, None) for c in level for v in c],
        "persistence": [v for (_, vertices), _, _ in persistence(weighted, None) for v in vertices],
    }
    for name, values in ints.items():
        assert len(values) > 2 * len(set(values)), name
        assert len({id(v) for v in values}) == len(set(values)), name


# ---------------------------------------------------------------- interruption and the interpreter lock

INTERRUPTIBLE_CALL = textwrap.dedent(
    """
    import threading, time
    import korvane

    try:
        import pypyjit
    except ImportError:
        pass
    else:
        # Compile functions on their first call, as in a long session: the
        # binding's signal checkpoint must still run pending handlers then.
        pypyjit.set_param("function_threshold=1")

    # The levels of a complete graph: one maximal clique, found by seconds of
    # native work on an input and a state of a few megabytes.
    size = 800
    edges = [(u, v) for u in range(size) for v in range(u + 1, size)]
    ticks, calling = 0, threading.Event()

    def count():
        # Ticks only while the call lets other threads run; the third one
        # tells the parent that the native part is under way.
        global ticks
        calling.wait()
        while True:
            time.sleep(0.005)
            ticks += 1
            if ticks == 3:
                print("running", flush=True)

    threading.Thread(target=count, daemon=True).start()
    # The reference: how soon the interpreter itself answers Ctrl-C here.
    try:
        print("looping", flush=True)
        while True:
            pass
    except KeyboardInterrupt:
        print("stopped", flush=True)
    calling.set()
    try:
        korvane.py_find_hierarchical_q_components_within_graph(edges, None)
    except KeyboardInterrupt:
        print("interrupted", flush=True)
    else:
        print("finished", flush=True)
    """
)


def test_ctrl_c_interrupts_a_long_call_and_other_threads_run_meanwhile():
    with Child(INTERRUPTIBLE_CALL) as child:
        assert child.read_line() == "looping\n"
        line, reference = child.interrupt(0.1)
        assert line == "stopped\n"
        started = child.read_line()
        if started == "finished\n":
            pytest.skip("the call finished before it could be interrupted")
        assert started == "running\n"
        # "running" means the native part is under way: interrupt it soon,
        # well before it could finish on a fast machine.
        line, latency = child.interrupt(0.1)
        if line == "finished\n":
            pytest.skip("the call finished before it could be interrupted")
        assert line == "interrupted\n"
        # Typically a few ms on either interpreter, 10 ms with one CPU-bound
        # process beside it on a loaded 2-core machine; the bound allows ten
        # times that, or ten times the interpreter's own answer when the
        # machine is so loaded that even that is slow.
        assert latency < max(0.1, 10 * reference), (latency, reference)
        assert child.process.wait(timeout=10) == 0
