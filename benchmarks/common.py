"""Timing helpers shared by the benchmark scripts."""

import pickle
import time


def best_time(call, repeat=3):
    """The fastest of `repeat` runs of call(), and its last result."""
    best, result = float("inf"), None
    for _ in range(repeat):
        start = time.perf_counter()
        result = call()
        best = min(best, time.perf_counter() - start)
    return best, result


def materialisation_time(result, repeat=3):
    """What it costs just to build the result's Python objects."""
    return best_time(lambda: pickle.loads(pickle.dumps(result)), repeat)[0]


def print_table(headers, rows):
    widths = [max(len(str(x)) for x in column) for column in zip(headers, *rows)]
    for line in [headers, ["-" * w for w in widths], *rows]:
        print("  ".join(str(x).rjust(w) for x, w in zip(line, widths)))
