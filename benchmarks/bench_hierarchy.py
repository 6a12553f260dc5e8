"""Simplicial hierarchy on seeded random complexes of 2-8-vertex simplices over a
vertex pool a quarter of their number. Prints call time, the time to materialise
the result's objects (pickle round trip) and their ratio."""

import random

import korvane
from common import best_time, materialisation_time, print_table


def random_complex(count, seed):
    rng = random.Random(seed)
    pool = count // 4
    return [[rng.randrange(pool) for _ in range(rng.randint(2, 8))] for _ in range(count)]


def main():
    rows = []
    for count in (5_000, 20_000, 80_000):
        simplices = random_complex(count, seed=count)
        call, levels = best_time(lambda: korvane.py_find_hierarchical_q_components(simplices))
        materialise = materialisation_time(levels)
        output = sum(len(c) for level in levels for c in level)
        rows.append([f"{count:,}", f"{output:,}", f"{call * 1e3:.1f}", f"{materialise * 1e3:.1f}", f"{call / materialise:.2f}"])
    print_table(["simplices", "output ids", "call ms", "materialise ms", "ratio"], rows)


if __name__ == "__main__":
    main()
