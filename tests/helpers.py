"""Objects and checks that several test modules share: the three functions,
stand-ins for numbers and sequences (obliging or failing on purpose), and the
walk over everything an argument reaches, for reference-count checks, a child
interpreter to interrupt, and families of simplices with hub vertices."""

import os
import queue
import signal
import subprocess
import sys
import threading
import time

import korvane

hierarchy = korvane.py_find_hierarchical_q_components
graph = korvane.py_find_hierarchical_q_components_within_graph
persistence = korvane.py_calculate_persistent_q_components


class Failure(Exception):
    """Raised on purpose by an argument's own method; a call must pass it on."""


class Indexed:
    """An int-like object: only __index__."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class FailingIndex:
    def __index__(self):
        raise Failure("__index__")


class FailingFloat:
    def __float__(self):
        raise Failure("__float__")


class FailsMidway:
    """A sequence whose iteration raises Failure after its first `good` items
    (all of them by default); its length and items by position stay readable."""

    def __init__(self, items, good=None):
        self.items, self.good = items, len(items) if good is None else good

    def __len__(self):
        return len(self.items)

    def __getitem__(self, position):
        return self.items[position]

    def __iter__(self):
        yield from self.items[: self.good]
        raise Failure("__next__")


class LengthFails:
    """A sequence whose length cannot be taken; only its items count."""

    def __init__(self, items):
        self.items = items

    def __len__(self):
        raise Failure("__len__")

    def __getitem__(self, position):
        return self.items[position]


class NameUnreadable(Exception):
    """Raised where the module only asks for a type name; never reaches a caller."""


class NamelessMeta(type):
    def __getattribute__(cls, name):
        if name == "__qualname__":
            raise NameUnreadable("__qualname__")
        return super().__getattribute__(name)


class Nameless(metaclass=NamelessMeta):
    """An object whose type's name cannot be read."""

    def __repr__(self):
        return "Nameless()"


# Objects the interpreter shares between unrelated holders (singletons, small
# ints, interned strings, classes, functions): their counts move on their own.
SHARED = (type(None), bool, str, bytes, type, type(len), type(lambda: None))


def reachable(arguments, refused=()):
    """Every object the arguments reach whose count only its holders move, read
    without running the objects' own code; None when one is an instance of a
    class in `refused`."""
    seen, found, pending = set(), [], list(arguments)
    while pending:
        obj = pending.pop()
        if id(obj) in seen:
            continue
        seen.add(id(obj))
        if isinstance(obj, refused):
            return None
        if isinstance(obj, SHARED) or (type(obj) is int and -5 <= obj <= 256):
            continue
        if type(obj) in (tuple, frozenset) and len(obj) == 0:
            continue
        found.append(obj)
        if isinstance(obj, list):
            pending.extend(list.__iter__(obj))
        elif type(obj) in (tuple, set, frozenset):
            pending.extend(obj)
        elif type(obj) is dict:
            pending.extend(obj.keys())
            pending.extend(obj.values())
        if hasattr(obj, "__dict__") and not isinstance(obj, type):
            pending.extend(vars(obj).values())
    return found


def reference_counts(objects):
    return [sys.getrefcount(obj) for obj in objects]


class Child:
    """A child interpreter running `source` with this build of the module.
    Its output lines are read with a deadline, so that a child that stops
    answering fails the test instead of hanging it; leaving the block kills it."""

    def __init__(self, source):
        environment = dict(os.environ, PYTHONPATH=os.path.dirname(korvane.__file__))
        # A process started in the background by a shell inherits Ctrl-C as
        # ignored, and Python then installs no handler for it: the child asks
        # for the usual KeyboardInterrupt whatever started the tests.
        source = "import signal\nsignal.signal(signal.SIGINT, signal.default_int_handler)\n" + source
        self.process = subprocess.Popen([sys.executable, "-c", source], stdout=subprocess.PIPE, text=True,
                                        env=environment)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.put(line)
        self.lines.put("")

    def read_line(self, timeout=60):
        try:
            return self.lines.get(timeout=timeout)
        except queue.Empty:
            return f"no line within {timeout} s"

    def interrupt(self, after):
        """Sends Ctrl-C `after` seconds from now; the next line and how long it took."""
        time.sleep(after)
        self.process.send_signal(signal.SIGINT)
        sent = time.monotonic()
        line = self.read_line()
        return line, time.monotonic() - sent

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()


def planted_hubs(rng, count, hubs, pool, others=(1, 4)):
    """Each simplex holds 1 to 3 of `hubs` hub vertices and a few vertices of a
    pool of `pool` others."""
    return [rng.sample(range(hubs), rng.randint(1, min(3, hubs))) +
            [hubs + rng.randrange(pool) for _ in range(rng.randint(*others))] for _ in range(count)]


def zipf_like(rng, count, vocabulary, sizes, exponent=1.0):
    """Documents as simplices of distinct terms; term r is drawn with weight 1/r**exponent."""
    weights = [1 / r**exponent for r in range(1, vocabulary + 1)]
    documents = []
    for _ in range(count):
        terms = set()
        size = rng.randint(*sizes)
        while len(terms) < size:
            terms.update(rng.choices(range(vocabulary), weights, k=size - len(terms)))
        documents.append(sorted(terms))
    return documents
