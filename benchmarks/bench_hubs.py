"""Simplicial hierarchy on seeded families with hub vertices: a single hub in
every simplex, families where each simplex holds 1 to 3 of a handful of hubs
plus a few random vertices, and co-occurrence data (documents of 5 to 40
distinct terms drawn from a Zipf distribution with exponent 1.1 over 20,000
terms, so that a few stop-word terms sit in most documents). Prints call time,
the time to materialise the result's objects (pickle round trip) and their
ratio."""

import bisect
import itertools
import random

import korvane
from common import best_time, materialisation_time, print_table


def single_hub(count):
    return [[0, i] for i in range(1, count)]


def several_hubs(count, seed, hubs=6):
    rng = random.Random(seed)
    return [rng.sample(range(hubs), rng.randint(1, 3)) + [hubs + rng.randrange(count) for _ in range(rng.randint(1, 4))]
            for _ in range(count)]


def zipf_documents(count, seed, vocabulary=20_000, exponent=1.1, sizes=(5, 40)):
    rng = random.Random(seed)
    cumulative = list(itertools.accumulate(r ** -exponent for r in range(1, vocabulary + 1)))
    documents = []
    for _ in range(count):
        size = rng.randint(*sizes)
        terms = set()
        while len(terms) < size:
            terms.add(bisect.bisect_left(cumulative, rng.random() * cumulative[-1]))
        documents.append(sorted(terms))
    return documents


def main():
    families = [("single hub", single_hub(300_000), 3)]
    families += [(f"6 hubs {n:,}", several_hubs(n, seed=n), 3) for n in (20_000, 100_000)]
    families += [(f"zipf documents {n:,}", zipf_documents(n, seed=n), r) for n, r in ((8_000, 3), (50_000, 1))]
    rows = []
    for name, simplices, repeat in families:
        call, levels = best_time(lambda: korvane.py_find_hierarchical_q_components(simplices), repeat)
        materialise = materialisation_time(levels, repeat)
        output = sum(len(c) for level in levels for c in level)
        rows.append([name, f"{len(simplices):,}", len(levels), f"{output:,}", f"{call * 1e3:.1f}",
                     f"{materialise * 1e3:.1f}", f"{call / materialise:.2f}"])
    print_table(["family", "simplices", "levels", "output ids", "call ms", "materialise ms", "ratio"], rows)


if __name__ == "__main__":
    main()
