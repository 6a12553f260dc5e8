"""The classic q-analysis summary of a complex, computed from korvane's levels.

- Structure vector Q: Q[q] is the number of q-connected components.
- Obstruction vector: Q - 1 per level, how far each level is from holding
  together in one piece.
- Eccentricity of a simplex (Atkin): (q-top - q-bottom) / (q-bottom + 1), with
  q-top its dimension (vertices - 1) and q-bottom the highest level at which it
  shares a component with another simplex. It measures how much of the simplex
  stands apart from the rest; it is infinite for a simplex that shares a
  component with nothing even at level 0.

For a graph the simplices are the maximal cliques: the levels of that family
are exactly the graph's levels, since every clique lies in a maximal one.
"""

import math
from dataclasses import dataclass

import korvane


@dataclass
class Eccentricity:
    simplex: int  # position in the list of simplices
    top: int
    bottom: int

    @property
    def value(self):
        if self.bottom < 0:
            return math.inf
        return (self.top - self.bottom) / (self.bottom + 1)


@dataclass
class Summary:
    structure: list  # Q, one count per level q
    eccentricities: list  # one Eccentricity per simplex, in input order

    @property
    def obstruction(self):
        return [count - 1 for count in self.structure]


def summarise(simplices):
    """Q, Q - 1 and every simplex's eccentricity, from one call of the hierarchy."""
    levels = korvane.py_find_hierarchical_q_components(simplices)
    bottom = [-1] * len(simplices)
    for q, level in enumerate(levels):
        for component in level:
            if len(component) > 1:
                for simplex in component:
                    bottom[simplex] = q
    tops = [len(set(simplex)) - 1 for simplex in simplices]
    eccentricities = [Eccentricity(i, tops[i], bottom[i]) for i in range(len(simplices))]
    return Summary([len(level) for level in levels], eccentricities)


def maximal_cliques(edges):
    """The maximal cliques of a graph, each a sorted vertex list, in sorted order (Bron-Kerbosch with pivoting)."""
    neighbours = {}
    for u, v in edges:
        neighbours.setdefault(u, set())
        neighbours.setdefault(v, set())
        if u != v:
            neighbours[u].add(v)
            neighbours[v].add(u)
    cliques = []

    def extend(clique, candidates, excluded):
        if not candidates and not excluded:
            cliques.append(sorted(clique))
            return
        pivot = max(candidates | excluded, key=lambda w: len(neighbours[w] & candidates))
        for w in list(candidates - neighbours[pivot]):
            extend(clique + [w], candidates & neighbours[w], excluded & neighbours[w])
            candidates.remove(w)
            excluded.add(w)

    extend([], set(neighbours), set())
    return sorted(cliques)


def print_summary(title, simplices, describe, shown=6):
    """Print the vectors as a table, then the most eccentric simplices; describe(i) names simplex i."""
    summary = summarise(simplices)
    print(f"  q-analysis of {title} ({len(simplices)} simplices)")
    rows = [("q", list(range(len(summary.structure)))), ("Q", summary.structure), ("Q - 1", summary.obstruction)]
    width = max(len(str(x)) for _, row in rows for x in row)
    for label, row in rows:
        print(f"    {label:16}" + " ".join(str(x).rjust(width) for x in row))
    ranked = sorted(summary.eccentricities, key=lambda e: (-e.value, -e.top, e.simplex))
    print("    eccentricity  q-top  q-bottom  simplex")
    for e in ranked[:shown]:
        print(f"    {e.value:12.3f}  {e.top:5}  {e.bottom:8}  {describe(e.simplex)}")
    if len(ranked) > shown:
        print(f"    and {len(ranked) - shown} more, down to {ranked[-1].value:.3f}")
