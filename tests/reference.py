"""Small, obviously correct pure-Python models of what korvane computes.

They follow the definitions level by level and are slow on purpose; the tests
compare the native results with them on small random inputs.
"""

import math
from itertools import combinations


class UnionFind:
    def __init__(self, items):
        self.parent = {x: x for x in items}

    def find(self, x):
        while self.parent[x] != x:
            self.parent[x] = self.parent[self.parent[x]]
            x = self.parent[x]
        return x

    def union(self, a, b):
        self.parent[self.find(a)] = self.find(b)

    def classes(self):
        groups = {}
        for x in self.parent:
            groups.setdefault(self.find(x), []).append(x)
        return list(groups.values())


def reference_simplicial_levels(simplices):
    """Levels 0..largest dimension; level q holds the classes (frozensets of
    simplex indices) of the simplices with at least q+1 vertices, two joined
    when they share at least q+1 vertices."""
    sets = [set(s) for s in simplices]
    if not sets:
        return []
    top = max(len(s) for s in sets) - 1
    if top < 0:
        return [[]]
    levels = []
    for q in range(top + 1):
        active = [i for i, s in enumerate(sets) if len(s) >= q + 1]
        uf = UnionFind(active)
        for a, b in combinations(active, 2):
            if len(sets[a] & sets[b]) >= q + 1:
                uf.union(a, b)
        levels.append([frozenset(c) for c in uf.classes()])
    return levels


def reference_graph_levels(edges, max_q):
    """The clique-complex levels of a graph, by enumerating every clique.

    Every edge end is a vertex; a self-loop adds its vertex only. S caps the
    clique size (the vertex count when max_q is None; 0 counts as 1). At level q
    the (q+1)-cliques are the objects, and every larger enumerated clique ties
    all of its (q+1)-subsets together; a component is reported as the union of
    its cliques' vertices."""
    adjacency = {}
    for u, v in edges:
        adjacency.setdefault(u, set()).add(v)
        adjacency.setdefault(v, set()).add(u)
    if not adjacency:
        return []
    cap = len(adjacency) if max_q is None else max(max_q, 1)

    cliques = {1: [(v,) for v in sorted(adjacency)]}
    size = 1
    while size < cap and cliques.get(size):
        grown = []
        for clique in cliques[size]:
            for c in sorted(adjacency[clique[0]]):
                if c > clique[-1] and all(c in adjacency[u] for u in clique):
                    grown.append(clique + (c,))
        if grown:
            cliques[size + 1] = grown
        size += 1
    top = max(s for s in cliques if cliques[s])

    levels = []
    for q in range(top):
        uf = UnionFind(cliques[q + 1])
        for s in range(q + 2, top + 1):
            for big in cliques.get(s, []):
                faces = list(combinations(big, q + 1))
                for face in faces[1:]:
                    uf.union(faces[0], face)
        levels.append([frozenset(v for c in cls for v in c) for cls in uf.classes()])
    return levels


def reference_persistence(edges, max_q, grouped=False):
    """Births and deaths of the (q, vertex set) components as the weighted edges
    are added one at a time in ascending order of weight (with `grouped`, all
    edges of one weight at once), rerunning the level search after every step.
    Records come in the order of the step at which they die (the survivors
    last, dying at the largest finite weight), and within a step by q and then
    by the ascending vertex list."""
    finite = [(u, v, float(w)) for u, v, w in edges if math.isfinite(w)]
    finite.sort(key=lambda e: e[2])
    graph, active, records = [], {}, []
    for i, (u, v, w) in enumerate(finite):
        graph.append((u, v))
        if grouped and i + 1 < len(finite) and finite[i + 1][2] == w:
            continue
        current = {
            (q, frozenset(c)) for q, level in enumerate(reference_graph_levels(graph, max_q)) for c in level
        }
        dead = sorted((q, sorted(s)) for q, s in active if (q, s) not in current)
        records += [((q, vs), active.pop((q, frozenset(vs))), w) for q, vs in dead]
        for key in current:
            active.setdefault(key, w)
    if active:
        last = finite[-1][2]
        records += [((q, vs), active[(q, frozenset(vs))], last) for q, vs in sorted((q, sorted(s)) for q, s in active)]
    return records
