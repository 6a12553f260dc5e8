"""q-analysis of three small public data sets with korvane.

Run it from anywhere:

    python examples/real_data.py [--figures DIR] [--format png|svg|pdf] [--dpi N] [--bars N]

For each data set it prints the structure vector (how many q-connected
components there are at each level q), the components at the highest levels,
a q-analysis summary (structure and obstruction vectors, the most eccentric
simplices: see q_summary.py) and, for the weighted graph, the longest-lived
persistent components.

- Zachary's karate club: the clique complex of an unweighted friendship graph.
- Les Miserables: the clique complex of the characters' co-appearance graph,
  each edge weighted by the number of chapters the two characters share.
- Davis Southern Women: each social event is a simplex whose vertices are the
  women who attended it (the classic example of q-analysis), and conversely
  each woman is a simplex whose vertices are the events she attended.

Persistence. The edges are added one at a time in ascending order of weight. A
component, a level q together with an exact vertex set, is born at the weight
of the edge after which it first appears and dies at the weight of the edge
after which it is gone; components still present at the end die at the
largest weight. Our weights measure closeness (more shared chapters mean a
stronger tie), so the strongest ties must come first: each weight w is
turned into the distance 1/w. That distance is positive and finite for every
positive weight, reverses the order of the ties, needs no knowledge of the
largest weight, and is scale-free: multiplying every weight by a constant
divides every persistence by it and leaves their ranking unchanged. It also
spaces weak ties widely (1 and 2 shared chapters lie 0.5 apart) and strong
ties closely (30 and 31 lie 0.001 apart): one more meeting says much about
acquaintances and little about close companions. Persistence is death - birth
in these units; a long-lived component is a group that stays exactly one
component, neither growing nor merging, over a wide range of tie strengths.
Components still present once every edge is in are marked: their death is
only the largest distance, so their persistence is a lower bound.

With matplotlib installed (pip install '.[plot]' from a checkout, or pip
install matplotlib) the script also writes figures into DIR (default:
./figures), as PNG (at --dpi dots per inch), SVG or PDF: the structure vector of
each data set as a bar chart, and for Les Miserables the persistence barcodes
(a panel per level, bars labelled with their members) and the persistence
diagram (see persistence_figures.py).
"""

import argparse
import time
from dataclasses import dataclass, field
from pathlib import Path
from typing import Callable, Optional

import korvane
import persistence_figures
import q_summary

DATA = Path(__file__).resolve().parent / "data"
TOP_LEVELS_SHOWN = 3
COMPONENTS_SHOWN_PER_LEVEL = 4
LINE_WIDTH = 80
LONGEST_LIVED_SHOWN = 10


def read_rows(file_name):
    """The tab-separated fields of each line of a data file, skipping comments and blank lines."""
    with open(DATA / file_name, encoding="utf-8") as lines:
        return [line.rstrip("\n").split("\t") for line in lines if line.strip() and not line.startswith("#")]


class Labels:
    """Dense integer ids for names, in order of first appearance."""

    def __init__(self):
        self.names = []
        self.ids = {}

    def id(self, name):
        if name not in self.ids:
            self.ids[name] = len(self.names)
            self.names.append(name)
        return self.ids[name]


@dataclass
class Hierarchy:
    title: str
    levels: list
    describe: Callable[[int], str]


@dataclass
class Complex:
    """A family of simplices for the q-analysis summary."""

    title: str
    simplices: list
    describe: Callable[[int], str]  # names simplex i


@dataclass
class Persistence:
    title: str
    records: list
    survivors: set  # positions of the records of components still present once every edge is in
    describe: Callable[[int], str]


@dataclass
class DataSet:
    name: str
    summary: str
    slug: str
    hierarchies: list = field(default_factory=list)
    complexes: list = field(default_factory=list)
    persistence: Optional[Persistence] = None


def cliques_complex(edges, describe_vertex):
    """The maximal cliques of a graph as a complex, each clique named by its first members."""
    cliques = q_summary.maximal_cliques(edges)

    def describe(i):
        return "{" + persistence_figures.member_label(cliques[i], describe_vertex) + "}"

    return Complex("the maximal cliques", cliques, describe)


def karate_club():
    friendships = [(int(u), int(v)) for u, v in read_rows("karate_club.txt")]
    members = {m for edge in friendships for m in edge}
    data = DataSet(
        "Zachary's karate club", f"{len(members)} members, {len(friendships)} friendships", "karate_club"
    )
    levels = korvane.py_find_hierarchical_q_components_within_graph(friendships, None)
    data.hierarchies.append(Hierarchy("clique complex of the friendship graph (members by number)", levels, str))
    data.complexes.append(cliques_complex(friendships, str))
    return data


def les_miserables():
    characters = Labels()
    ties = [(characters.id(u), characters.id(v), int(w)) for u, v, w in read_rows("les_miserables.txt")]
    data = DataSet(
        "Les Miserables", f"{len(characters.names)} characters, {len(ties)} co-appearing pairs", "les_miserables"
    )
    name = characters.names.__getitem__
    levels = korvane.py_find_hierarchical_q_components_within_graph([(u, v) for u, v, _ in ties], None)
    data.hierarchies.append(Hierarchy("clique complex of the co-appearance graph", levels, name))
    data.complexes.append(cliques_complex([(u, v) for u, v, _ in ties], name))
    records = korvane.py_calculate_persistent_q_components([(u, v, 1.0 / w) for u, v, w in ties], None)
    # Every weight is finite, so the components left after the last edge are
    # exactly those of the whole graph. Records come in the order of their
    # deaths, so a key's last record is the one that may still be alive.
    final = {(q, frozenset(c)) for q, level in enumerate(levels) for c in level}
    last_record = {(q, frozenset(members)): i for i, ((q, members), _, _) in enumerate(records)}
    survivors = {i for key, i in last_record.items() if key in final}
    data.persistence = Persistence("distance = 1 / shared chapters", records, survivors, name)
    return data


def davis_southern_women():
    women = Labels()
    events = Labels()
    attendance = [(events.id(row[0]), [women.id(w) for w in row[1:]]) for row in read_rows("davis_southern_women.txt")]
    data = DataSet(
        "Davis Southern Women", f"{len(women.names)} women, {len(events.names)} events", "davis_southern_women"
    )

    # Simplex i of each complex is the i-th event (or woman), so the positions
    # in the results are event (or woman) ids.
    event_simplices = [present for _, present in attendance]
    woman_simplices = [[] for _ in women.names]
    for event, present in attendance:
        for woman in present:
            woman_simplices[woman].append(event)
    for title, simplices, labels in [
        ("events as simplices of the women who attended", event_simplices, events),
        ("women as simplices of the events they attended", woman_simplices, women),
    ]:
        levels = korvane.py_find_hierarchical_q_components(simplices)
        data.hierarchies.append(Hierarchy(title, levels, labels.names.__getitem__))
        data.complexes.append(Complex(title.split(" as ")[0], simplices, labels.names.__getitem__))
    return data


def members_text(prefix, members, describe):
    """The prefix, then the members' names in id order, wrapped at LINE_WIDTH between names."""
    names = [describe(m) for m in sorted(members)]
    pieces = [name + "," for name in names[:-1]] + [name + "}" for name in names[-1:]] or ["}"]
    lines = [prefix + "{" + pieces[0]]
    for piece in pieces[1:]:
        if len(lines[-1]) + 1 + len(piece) > LINE_WIDTH:
            lines.append(" " * (len(prefix) + 1) + piece)
        else:
            lines[-1] += " " + piece
    return "\n".join(lines)


def print_hierarchy(hierarchy):
    print(f"  {hierarchy.title}")
    if not hierarchy.levels:
        print("    no levels")
        return
    counts = [len(level) for level in hierarchy.levels]
    width = max(len(str(x)) for x in [len(counts) - 1, *counts])
    print("    q           " + " ".join(str(q).rjust(width) for q in range(len(counts))))
    print("    components  " + " ".join(str(c).rjust(width) for c in counts))
    top = len(hierarchy.levels) - 1
    for q in range(top, max(top - TOP_LEVELS_SHOWN, -1), -1):
        components = sorted(hierarchy.levels[q], key=lambda c: (-len(c), sorted(c)))
        label = f"    q = {q}: "
        indent = " " * len(label)
        for i, component in enumerate(components[:COMPONENTS_SHOWN_PER_LEVEL]):
            print(members_text(label if i == 0 else indent, component, hierarchy.describe))
        if len(components) > COMPONENTS_SHOWN_PER_LEVEL:
            print(f"{indent}and {len(components) - COMPONENTS_SHOWN_PER_LEVEL} more")


def longest_lived(persistence):
    """Rows (levels, members, birth, death, survives) of positive persistence, the longest first.

    Records that differ only in q (one vertex set that is a component at
    several levels over the same span) share a row."""
    levels_of = {}
    for i, ((q, members), birth, death) in enumerate(persistence.records):
        if death > birth:
            levels_of.setdefault((tuple(members), birth, death), []).append((q, i in persistence.survivors))
    rows = [
        (sorted(q for q, _ in marks), members, birth, death, all(survives for _, survives in marks))
        for (members, birth, death), marks in levels_of.items()
    ]
    return sorted(rows, key=lambda r: (r[2] - r[3], -r[0][-1], r[1]))


def levels_text(levels):
    if levels == list(range(levels[0], levels[-1] + 1)) and len(levels) > 1:
        return f"{levels[0]}-{levels[-1]}"
    return ",".join(map(str, levels))


def print_persistence(persistence):
    print(f"  longest-lived components, {persistence.title}")
    rows = longest_lived(persistence)
    if not rows:
        print("    none of positive persistence")
        return
    print("    q      persistence   birth   death   members")
    for levels, members, birth, death, survives in rows[:LONGEST_LIVED_SHOWN]:
        mark = "*" if survives else " "
        columns = f"    {levels_text(levels):5}  {death - birth:11.3f}  {birth:6.3f}  {death:6.3f}{mark}  "
        print(members_text(columns, members, persistence.describe))
    print(f"    * still a component once every edge is in ({len(persistence.records)} records in all)")


def write_figures(data_sets, options):
    import matplotlib

    matplotlib.use("Agg")
    options.figures.mkdir(parents=True, exist_ok=True)
    written = []

    def save(figure, name):
        from matplotlib import pyplot

        path = options.figures / f"{name}.{options.format}"
        figure.savefig(path, dpi=options.dpi)
        pyplot.close(figure)
        written.append(path)

    for data in data_sets:
        save(structure_chart(data), f"{data.slug}_structure")
        persistence = data.persistence
        if persistence is not None and persistence.records:
            bars = persistence_figures.bars_of(persistence.records, persistence.survivors)
            title = f"{data.name}, {persistence.title}"
            axis = "distance (1 / weight)"
            save(persistence_figures.barcodes(title, bars, persistence.describe, axis, options.bars), f"{data.slug}_barcodes")
            save(persistence_figures.diagram(title, bars, axis), f"{data.slug}_diagram")
    return written


def structure_chart(data):
    """The number of components per level, one panel per complex."""
    from matplotlib import pyplot
    from matplotlib.ticker import MaxNLocator

    figure, axes = pyplot.subplots(1, len(data.hierarchies), figsize=(1 + 5 * len(data.hierarchies), 3.5), squeeze=False)
    for ax, hierarchy in zip(axes[0], data.hierarchies):
        counts = [len(level) for level in hierarchy.levels]
        ax.bar(range(len(counts)), counts, color="tab:blue")
        ax.set_xticks(range(len(counts)))
        ax.yaxis.set_major_locator(MaxNLocator(integer=True))
        ax.set_xlabel("level q")
        ax.set_ylabel("number of q-components")
        ax.set_title(hierarchy.title, fontsize=9)
    figure.suptitle(f"Structure vector: {data.name}", fontsize=10)
    figure.tight_layout()
    return figure


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--figures", type=Path, default=Path("figures"), help="directory for the figures")
    parser.add_argument("--format", choices=["png", "svg", "pdf"], default="png", help="file format of the figures")
    parser.add_argument("--dpi", type=int, default=200, help="resolution of PNG figures, in dots per inch")
    parser.add_argument("--bars", type=int, default=15, help="most bars drawn per level of a barcode")
    arguments = parser.parse_args()

    start = time.perf_counter()
    data_sets = [karate_club(), les_miserables(), davis_southern_women()]
    elapsed = time.perf_counter() - start

    for data in data_sets:
        print(f"{data.name}: {data.summary}")
        for hierarchy in data.hierarchies:
            print_hierarchy(hierarchy)
        for complex_ in data.complexes:
            q_summary.print_summary(complex_.title, complex_.simplices, complex_.describe)
        if data.persistence is not None:
            print_persistence(data.persistence)
        print()
    print(f"Read and analysed the three data sets in {elapsed:.3f} s.")

    try:
        import matplotlib  # noqa: F401
    except ImportError:
        print("Figures: matplotlib is not installed; pip install '.[plot]' from the checkout (or matplotlib) to get them.")
        return
    for path in write_figures(data_sets, arguments):
        print(f"Wrote {path}")


if __name__ == "__main__":
    main()
