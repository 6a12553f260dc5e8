"""Arbitrary and hostile Python objects in every argument position.

Each call must either return a well-formed result or raise one of the errors the
module documents: TypeError, ValueError, OverflowError, or the error that one of
the argument's own methods raised, passed on unchanged. Errors raised where the
module only asks for a size hint or a type name must be swallowed. The process
must survive, and on CPython every object reachable from the arguments must
keep its reference count.

KORVANE_HOSTILE_EXAMPLES sets the number of examples per function (CI runs
10,000 on CPython, with and without the sanitizers; a few hundred by default).
"""

import os
import sys

import pytest
from hypothesis import HealthCheck, event, given, settings, strategies as st

import korvane
from helpers import Nameless, reachable

EXAMPLES = int(os.environ.get("KORVANE_HOSTILE_EXAMPLES", "300"))
COUNTS_REFERENCES = sys.implementation.name == "cpython"

pytestmark = pytest.mark.filterwarnings(
    # An __index__ or __float__ returning a subclass of int or float is
    # accepted with a deprecation warning by the interpreter itself.
    "ignore:.*__index__ returned non-int:DeprecationWarning",
    "ignore:.*__float__ returned non-float:DeprecationWarning",
)


class HostileError(Exception):
    """Raised on purpose by an argument's own method; the call must pass it on."""


class HostileBaseError(BaseException):
    """Like HostileError, but outside Exception, as KeyboardInterrupt is."""


class SwallowedError(Exception):
    """Raised where the module only asks for a hint (a length, a type name); it
    must never reach the caller."""


PASSED_ON = (HostileError, HostileBaseError)
DOCUMENTED = (TypeError, ValueError, OverflowError) + PASSED_ON


def act(outcome):
    """('return', value) or ('raise', exception class)."""
    kind, payload = outcome
    if kind == "raise":
        raise payload("hostile")
    return payload


# ---------------------------------------------------------------------------
# Hostile objects. None of their __repr__s runs hostile code.


class Index:
    def __init__(self, outcome):
        self.outcome = outcome

    def __index__(self):
        return act(self.outcome)

    def __repr__(self):
        return f"Index({self.outcome!r})"


class Float:
    def __init__(self, outcome):
        self.outcome = outcome

    def __float__(self):
        return act(self.outcome)

    def __repr__(self):
        return f"Float({self.outcome!r})"


class IntLike(int):
    """An int subclass: converted directly, without __index__."""

    def __index__(self):
        raise SwallowedError("an int subclass is read as an int")


class FloatLike(float):
    pass


class TextLike(str):
    def __iter__(self):
        return iter([0, 1])


class IndexedSequence:
    """A sequence without __iter__: iteration goes through __getitem__, and
    __len__ answers with `length` (which may lie, raise or be of the wrong type)."""

    def __init__(self, items, length):
        self.items = items
        self.length = length

    def __getitem__(self, position):
        return self.items[position]

    def __len__(self):
        return act(self.length)

    def __repr__(self):
        return f"{type(self).__name__}({self.items!r}, length={self.length!r})"


class BrokenIterSequence(IndexedSequence):
    """A sequence whose __iter__ raises, hands back a non-iterator, or whose
    iterator fails after yielding its items."""

    def __init__(self, items, length, iteration):
        super().__init__(items, length)
        self.iteration = iteration

    def __iter__(self):
        if self.iteration == "raise":
            raise HostileError("__iter__")
        if self.iteration == "non-iterator":
            return self.items
        return failing_iterator(self.items, HostileError if self.iteration == "fail" else HostileBaseError)

    def __repr__(self):
        return f"BrokenIterSequence({self.items!r}, length={self.length!r}, iteration={self.iteration!r})"


def failing_iterator(items, error):
    yield from items
    raise error("__next__")


def rearrange(target, stash, operation):
    """Moves that keep every object referenced: the stash holds what leaves the list."""
    if operation == "reverse":
        list.reverse(target)
    elif operation == "stash" and len(target):
        stash.append(list.pop(target))
    elif operation == "unstash" and stash:
        list.append(target, stash.pop())
    elif operation == "rotate" and len(target):
        list.insert(target, 0, list.pop(target))
    elif operation == "clear":
        stash.extend(list.__iter__(target))
        list.clear(target)


class SelfRearrangingList(list):
    """A list that rearranges itself between the items its iterator hands out;
    the iterator reads the live list, so the reader sees every move."""

    def __init__(self, items, operations):
        super().__init__(items)
        self.operations = operations
        self.stash = []

    def __iter__(self):
        inner = list.__iter__(self)
        for operation in self.operations:
            rearrange(self, self.stash, operation)
            item = next(inner, inner)
            if item is inner:
                return
            yield item
        yield from inner

    def __repr__(self):
        return f"SelfRearrangingList({list(list.__iter__(self))!r}, {self.operations!r})"


class Meddler:
    """An element that, when read as a vertex or as a vertex list, first
    rearranges the list holding it (wired up as `target`)."""

    def __init__(self, value, items, operation):
        self.value = value
        self.items = items
        self.operation = operation
        self.target = None
        self.stash = []

    def meddle(self):
        if isinstance(self.target, list):
            rearrange(self.target, self.stash, self.operation)

    def __index__(self):
        self.meddle()
        return self.value

    def __getitem__(self, position):
        return self.items[position]

    def __iter__(self):
        self.meddle()
        return iter(self.items)

    def __repr__(self):
        return f"{type(self).__name__}({self.value!r}, {self.items!r}, {self.operation!r})"


class Destroyer(Meddler):
    """Replaces the contents of the list holding it with new objects, so the
    old storage and items not held elsewhere are freed while being read."""

    def meddle(self):
        if isinstance(self.target, list):
            self.target[:] = [Index(("return", 1)), (2, 3), [4, 5], 6.5]


def wire_targets(container):
    """Points the Meddlers among the list's items, and among the items of its
    tuples, at the list."""
    for item in list.__iter__(container):
        for meddler in item if type(item) is tuple else (item,):
            if isinstance(meddler, Meddler) and meddler.target is None:
                meddler.target = container
    return container


# ---------------------------------------------------------------------------
# Strategies

# Hostile objects come from catalogues of makers, one draw each, so that an
# example costs few draws; every maker builds fresh objects.

BOUNDARY_INTS = [2**32 - 1, 2**32, 2**63 - 1, 2**63, 2**64 - 1, 2**64, 2**100, -1, -(2**63), -(2**64)]
WRONG_RETURNS = [*BOUNDARY_INTS, 3, True, 1.5, float("nan"), "7", None, [1], IntLike(4), FloatLike(2.5)]
SCALAR_MAKERS = [
    *(lambda v=v: Index(("return", v)) for v in WRONG_RETURNS),
    *(lambda v=v: Float(("return", v)) for v in WRONG_RETURNS),
    *(lambda e=e: maker(("raise", e)) for e in (HostileError, HostileBaseError) for maker in (Index, Float)),
    lambda: IntLike(5), lambda: IntLike(2**64), lambda: IntLike(-3),
    lambda: FloatLike(0.5), lambda: FloatLike(float("inf")),
    Nameless,
]
LEAF_MAKERS = [
    lambda: None, lambda: True, lambda: False, lambda: 0.0, lambda: -0.0, lambda: 1.5, lambda: 1e308,
    lambda: float("inf"), lambda: float("nan"), lambda: 2.0**64, lambda: 1 + 2j,
    lambda: "", lambda: "ab", lambda: "\udcff", lambda: TextLike("01"),
    lambda: b"", lambda: b"\x00\x01", lambda: bytearray(b"\x02\x03"),
    lambda: range(4), lambda: range(2**64 - 2, 2**64 + 2), lambda: range(5, -1, -2), lambda: range(-2, 2),
    lambda: range(2**64 - 1, 2**100, 2**90),
    *(lambda v=v: v * 1 for v in BOUNDARY_INTS),
]
LENGTHS = [("return", 0), ("return", 1), ("return", 2**62), ("return", sys.maxsize), ("return", -1),
           ("return", "3"), ("return", 1.0), ("return", None), ("return", 2**64), ("raise", SwallowedError)]
REARRANGEMENTS = [(), ("reverse",), ("stash",), ("clear",), ("stash", "stash", "unstash"), ("rotate", "reverse"),
                  ("clear", "unstash", "unstash")]
MEDDLER_MOVES = ["reverse", "stash", "rotate", "clear"]
ITERATIONS = ["raise", "non-iterator", "fail", "base"]


def make(maker):
    return maker()


SHAPES = [
    wire_targets,
    tuple,
    *(lambda items, moves=moves: wire_targets(SelfRearrangingList(items, moves)) for moves in REARRANGEMENTS),
    *(lambda items, length=length: IndexedSequence(items, length) for length in LENGTHS),
    *(lambda items, iteration=iteration: BrokenIterSequence(items, LENGTHS[0], iteration) for iteration in ITERATIONS),
    lambda items: (x for x in items),
    lambda items: dict(enumerate(items)),
    lambda items: {x for x in items if type(x) is int},
    lambda items: frozenset(x for x in items if type(x) is int),
]


def sequences_of(items):
    """The items in sequence-like and not-quite-sequence-like containers."""
    shapes = weighted((2, st.just(wire_targets)), (1, st.just(tuple)), (2, st.sampled_from(SHAPES)))
    return st.builds(lambda shape, xs: shape(xs), shapes, st.lists(items, max_size=5))


def weighted(*choices):
    """one_of with weights: (weight, strategy) pairs, the first one preferred
    when shrinking."""
    table = [strategy for weight, strategy in choices for _ in range(weight)]
    return st.integers(0, len(table) - 1).flatmap(table.__getitem__)


small_ints = st.integers(0, 12)
leaves = st.one_of(small_ints, st.sampled_from(LEAF_MAKERS + SCALAR_MAKERS).map(make))
anything = st.recursive(leaves, sequences_of, max_leaves=6)

vertices = weighted(
    (12, small_ints),
    (2, leaves),
    (1, st.builds(Meddler, small_ints, st.lists(small_ints, max_size=3), st.sampled_from(MEDDLER_MOVES))),
    (1, st.builds(Destroyer, small_ints, st.just([4, 5]), st.just("destroy"))),
)
weights = weighted((3, st.floats()), (2, small_ints), (1, leaves))


def edges_of(width):
    right = st.tuples(*[vertices, vertices, weights][:width])
    return weighted((12, right), (1, st.lists(vertices, max_size=4).map(tuple)), (1, right.map(list)), (1, anything))


max_q = weighted((3, st.none()), (3, small_ints), (1, leaves), (1, anything))
labels = st.one_of(small_ints, st.text(max_size=2), st.tuples(small_ints, small_ints))


def adjacency_of(nodes):
    """A dict of the nodes to rows of mostly those very objects."""
    neighbours = weighted((8, st.sampled_from(nodes)), (1, labels), (1, leaves)) if nodes else labels
    rows = st.lists(sequences_of(neighbours), min_size=len(nodes), max_size=len(nodes))
    return rows.map(lambda rows: dict(zip(nodes, rows)))

FUNCTIONS = {
    "py_find_hierarchical_q_components": {
        "py_simplices": weighted((6, sequences_of(weighted((8, sequences_of(vertices)), (1, anything)))), (1, anything))
    },
    "py_find_hierarchical_q_components_within_graph": {
        "edges": weighted((6, sequences_of(edges_of(2))), (1, anything)),
        "max_q": max_q,
    },
    "py_calculate_persistent_q_components": {
        "edges": weighted((6, sequences_of(edges_of(3))), (1, anything)),
        "max_q": max_q,
    },
    # Rows that agree with their offsets (five entries) now and then.
    "clique_communities": {
        "indptr": weighted((3, st.lists(st.integers(0, 5), max_size=4).map(lambda xs: [0, *sorted(xs), 5])),
                           (3, sequences_of(vertices)), (1, anything)),
        "indices": weighted((3, st.lists(weighted((8, st.integers(0, 2)), (1, vertices)), min_size=5, max_size=5)
                                .map(wire_targets)),
                            (2, sequences_of(vertices)), (1, anything)),
        "k": weighted((4, st.integers(2, 5)), (2, leaves), (1, anything)),
    },
    # Labels that are the node objects themselves, or only equal to them (the
    # tuples), or no node at all; rows of any shape.
    "adjacency_rows": {
        "adjacency": weighted((6, st.lists(labels, unique=True, max_size=5).flatmap(adjacency_of)), (1, anything)),
    },
}
STRANGE_KEYWORDS = st.sampled_from(["py_simplices", "edges", "max_q", "weights", "", "\udcff", "max_q\x00",
                                    "indptr", "k", "adjacency"])


def calls(parameters):
    """Mostly well-shaped calls (the first parameters by position, the rest by
    keyword); sometimes too many, too few, repeated or unknown arguments."""
    names = list(parameters)

    def split(values, cut):
        return [values[n] for n in names[:cut]], {n: values[n] for n in names[cut:]}

    well_shaped = st.builds(split, st.fixed_dictionaries(parameters), st.integers(0, len(names)))
    any_argument = st.one_of(*parameters.values(), anything)
    misshaped = st.tuples(
        st.lists(any_argument, max_size=len(names) + 2),
        st.dictionaries(STRANGE_KEYWORDS, any_argument, max_size=3),
    )
    return weighted((8, well_shaped), (1, misshaped))

CALLS = {name: calls(parameters) for name, parameters in FUNCTIONS.items()}


# ---------------------------------------------------------------------------
# Checks

def check_result(name, result):
    if name == "adjacency_rows":
        labels, indptr, indices = result
        assert type(labels) is list and type(indptr) is list and type(indices) is list
        assert indptr[0] == 0 and indptr == sorted(indptr) and indptr[-1] == len(indices) == sum(1 for _ in indices)
        assert len(indptr) == len(labels) + 1 and all(type(i) is int and 0 <= i < len(labels) for i in indices)
        return
    assert type(result) is list
    if name == "clique_communities":
        for community in result:
            assert type(community) is list and len(community) >= 2 and community == sorted(set(community))
            assert all(type(v) is int and v >= 0 for v in community)
        return
    if name == "py_calculate_persistent_q_components":
        for (q, vertices), birth, death in result:
            assert type(q) is int and q >= 0
            assert type(vertices) is list and vertices == sorted(vertices)
            assert all(type(v) is int and 0 <= v < 2**64 for v in vertices)
            assert type(birth) is float and type(death) is float
    else:
        for level in result:
            assert type(level) is list
            for component in level:
                assert type(component) is set and component
                assert all(type(i) is int and 0 <= i < 2**64 for i in component)


@pytest.mark.parametrize("name", sorted(FUNCTIONS))
@settings(
    max_examples=EXAMPLES,
    deadline=None,
    suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large, HealthCheck.filter_too_much],
)
@given(data=st.data())
def test_any_arguments_give_a_result_or_a_documented_error(name, data):
    positional, keywords = data.draw(CALLS[name], label="call")
    # Not with a Destroyer among them: holding its victims alive would hide
    # exactly the faults it is there to provoke.
    tracked = reachable(positional + list(keywords.values()), refused=Destroyer) if COUNTS_REFERENCES else None
    before = [sys.getrefcount(obj) for obj in tracked] if tracked is not None else None
    try:
        check_result(name, getattr(korvane, name)(*positional, **keywords))
        event("returned")
    except DOCUMENTED as error:
        event(type(error).__name__)
    except KeyError as error:  # a neighbour that is no node
        assert name == "adjacency_rows", error
        event("KeyError")
    if tracked is not None:
        after = [sys.getrefcount(obj) for obj in tracked]
        changed = [(obj, b, a) for obj, b, a in zip(tracked, before, after) if a != b]
        assert not changed, f"reference counts changed (object, before, after): {changed}"
