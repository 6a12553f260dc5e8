"""The k-clique communities of Les Miserables as a dendrogram, from korvane's
community tree.

Co-appearances are added from the most frequent down (weights negated, ties
grouped), and the tree's records at level k - 2 with at least k vertices are
the k-clique communities at each threshold. The figure draws them as branches
over the threshold: a community starts where it is born, from the communities
it grew from and the characters it takes in (the leaves, labelled with their
names), and runs until it joins a larger one or the data ends.

    python examples/community_tree.py [-k 3] [--format png|svg|pdf] [--output DIR]
"""

import argparse
from pathlib import Path

import korvane
from real_data import Labels, read_rows


def les_miserables():
    """The co-appearance edges, weights negated so that the most frequent come first, and the names."""
    characters = Labels()
    edges = [(characters.id(u), characters.id(v), -int(w)) for u, v, w in read_rows("les_miserables.txt")]
    return edges, characters.names


def communities(tree, k):
    """The records of the k-clique communities, by index, with their vertex sets."""
    sets = korvane.tree_records(tree)
    return {i: set(vertices) for i, ((q, vertices), _, _) in enumerate(sets) if q == k - 2 and len(vertices) >= k}


def layout(tree, kept):
    """Leaves (vertices) and branches (records) of the dendrogram: each branch
    grows from the kept records among its parents and from the vertices it
    takes in; vertices are laid out once, in the order a walk from the last
    communities meets them, so that a branch's leaves sit together."""
    children = {}
    for i in kept:
        parents = [p for p in tree[i][3] if p in kept]
        held = set().union(*(kept[p] for p in parents))
        children[i] = (parents, sorted(kept[i] - held))
    used = {p for parents, _ in children.values() for p in parents}
    roots = sorted((i for i in kept if i not in used), key=lambda i: -len(kept[i]))
    leaf_y, branch_y = {}, {}

    def place(i):
        if i in branch_y:
            return branch_y[i]
        parents, joined = children[i]
        ys = [place(p) for p in parents]
        for v in joined:
            if v not in leaf_y:
                leaf_y[v] = len(leaf_y)
            ys.append(leaf_y[v])
        branch_y[i] = sum(ys) / len(ys)
        return branch_y[i]

    for root in roots:
        place(root)
    return children, roots, leaf_y, branch_y


def draw(tree, kept, names, k):
    from matplotlib import pyplot

    children, roots, leaf_y, branch_y = layout(tree, kept)
    threshold = lambda weight: -weight  # back to co-appearances
    births = [threshold(tree[i][1]) for i in kept]
    start = max(births) + 1
    end = min(threshold(tree[i][2]) for i in kept) - 1
    figure, ax = pyplot.subplots(figsize=(8, 0.5 + 0.16 * len(leaf_y)))
    for i, (parents, joined) in children.items():
        x = threshold(tree[i][1])
        ys = [branch_y[p] for p in parents] + [leaf_y[v] for v in joined]
        for p in parents:
            ax.plot([threshold(tree[p][1]), x], [branch_y[p]] * 2, color="tab:blue", lw=1)
        for v in joined:
            ax.plot([start, x], [leaf_y[v]] * 2, color="0.7", lw=0.8)
        ax.plot([x, x], [min(ys), max(ys)], color="tab:blue", lw=1)
    for i in roots:
        ax.plot([threshold(tree[i][1]), end], [branch_y[i]] * 2, color="tab:blue", lw=1.5)
    ax.set_yticks(list(leaf_y.values()))
    ax.set_yticklabels([names[v] for v in leaf_y], fontsize=6)
    ax.set_xlim(start, end)  # the axis runs from many co-appearances down to few
    ax.set_ylim(-1, len(leaf_y))
    ax.set_xlabel("co-appearances at least")
    ax.set_title(f"Les Miserables: {k}-clique communities as co-appearances are added", fontsize=10)
    figure.tight_layout()
    return figure


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("-k", type=int, default=3, help="clique size of the communities (k >= 2)")
    parser.add_argument("--format", choices=["png", "svg", "pdf"], default="png", help="file format of the figure")
    parser.add_argument("--output", type=Path, default=Path("figures"), help="directory for the figure")
    arguments = parser.parse_args()
    if arguments.k < 2:
        parser.error("k must be at least 2")

    edges, names = les_miserables()
    tree = korvane.persistence_tree(edges, arguments.k, ties="grouped")
    kept = communities(tree, arguments.k)
    # Survivors die at the last weight, -1, as in the records: ask just before it.
    final = [sorted(names[v] for v in vertices) for _, vertices in korvane.tree_communities(tree, arguments.k, -2)]
    print(f"{len(tree)} records, {len(kept)} of them {arguments.k}-clique communities at some threshold.")
    print(f"At two co-appearances or more: {len(final)} communities, the largest of {max(map(len, final), default=0)}.")
    try:
        import matplotlib
    except ImportError:
        print("Figure: matplotlib is not installed; pip install '.[plot]' from the checkout (or matplotlib) to get it.")
        return
    matplotlib.use("Agg")
    arguments.output.mkdir(parents=True, exist_ok=True)
    path = arguments.output / f"les_miserables_{arguments.k}_clique_tree.{arguments.format}"
    draw(tree, kept, names, arguments.k).savefig(path, dpi=200)
    print(f"Wrote {path}")


if __name__ == "__main__":
    main()
