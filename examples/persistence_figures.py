"""Persistence figures for a paper, from korvane's persistence records.

Two views of the same records:

- barcodes, one panel per level q: a bar from birth to death per record,
  labelled with the members of its component; a component still present once
  every edge is in runs to infinity (an arrow past the last weight), since its
  recorded death is only the end of the data. Records of zero length (ties: the
  state between two edges of equal weight) are not drawn but counted in the
  panel's title. A level with nothing to draw gets no panel.
- a persistence diagram: one point per record at (birth, death), coloured by
  q, its size growing with the number of records at that point; survivors sit
  on a line marked infinity above the top.
"""

import math
from collections import Counter
from dataclasses import dataclass

NAMES_PER_LABEL = 3


@dataclass
class Bar:
    q: int
    members: list
    birth: float
    death: float  # math.inf for a survivor


def bars_of(records, survivors):
    """Records as bars: survivors (a set of record positions) run to infinity."""
    return [
        Bar(q, members, birth, math.inf if i in survivors else death)
        for i, ((q, members), birth, death) in enumerate(records)
    ]


def member_label(members, describe):
    names = [describe(m) for m in members]
    if len(names) <= NAMES_PER_LABEL + 1:
        return ", ".join(names)
    return ", ".join(names[:NAMES_PER_LABEL]) + f" +{len(names) - NAMES_PER_LABEL}"


def ticks_to_infinity(low, high, infinity):
    """Tick positions and labels: round values from low to high, then infinity."""
    from matplotlib.ticker import MaxNLocator

    ticks = [t for t in MaxNLocator(nbins=5).tick_values(low, high) if low - 1e-9 <= t <= high + 1e-9]
    return ticks + [infinity], [f"{t:g}" for t in ticks] + ["\u221e"]


def value_range(bars):
    low = min(bar.birth for bar in bars)
    high = max(max(bar.birth, bar.death if bar.death < math.inf else bar.birth) for bar in bars)
    margin = (high - low) * 0.08 or 1.0
    return low, high, high + margin  # the last: where infinity is drawn


def barcodes(title, bars, describe, axis_label, most_shown):
    """The barcode figure; per level at most most_shown bars, the longest (survivors measured to the last weight)."""
    from matplotlib import pyplot

    low, high, infinity = value_range(bars)
    by_level = {}
    for bar in bars:
        by_level.setdefault(bar.q, []).append(bar)
    panels = []
    for q in sorted(by_level):
        drawn = [bar for bar in by_level[q] if bar.death > bar.birth]
        if not drawn:
            continue
        zero = len(by_level[q]) - len(drawn)
        longest = sorted(drawn, key=lambda bar: (bar.birth - min(bar.death, high), bar.birth))[:most_shown]
        panels.append((q, drawn, zero, sorted(longest, key=lambda bar: (bar.birth, bar.death), reverse=True)))

    columns = 2 if len(panels) > 1 else 1
    rows = math.ceil(len(panels) / columns)
    # Row heights in inches: a fixed height per bar, plus the panel's title, ticks and axis label.
    heights = [0.17 * max(len(p[3]) for p in panels[r * columns : (r + 1) * columns]) + 0.9 for r in range(rows)]
    figure = pyplot.figure(figsize=(6.5 * columns, sum(heights) + 0.6), layout="constrained")
    grid = figure.add_gridspec(rows, columns, height_ratios=heights)
    for k, (q, drawn, zero, shown) in enumerate(panels):
        ax = figure.add_subplot(grid[k // columns, k % columns])
        ends = [infinity if bar.death == math.inf else bar.death for bar in shown]
        colours = ["tab:blue" if bar.death == math.inf else "tab:red" for bar in shown]
        births = [bar.birth for bar in shown]
        ax.barh(range(len(shown)), [e - b for e, b in zip(ends, births)], left=births, height=0.7, color=colours)
        arrows = [y for y, bar in enumerate(shown) if bar.death == math.inf]
        if arrows:
            ax.plot([infinity] * len(arrows), arrows, ">", color="tab:blue", markersize=4, clip_on=False)
        ax.set_yticks(range(len(shown)), [member_label(bar.members, describe) for bar in shown], fontsize=6)
        ax.set_ylim(-0.6, len(shown) - 0.4)
        ax.set_xlim(low, infinity)
        ax.set_xticks(*ticks_to_infinity(low, high, infinity), fontsize=7)
        ax.axvline(high, color="grey", linewidth=0.5, linestyle=":")
        survivors = sum(bar.death == math.inf for bar in drawn)
        more = f", the {len(shown)} longest shown" if len(shown) < len(drawn) else ""
        ax.set_title(
            f"q = {q}: {len(drawn)} bar{'s' * (len(drawn) != 1)} ({survivors} to \u221e){more}; {zero} of zero length",
            fontsize=8,
        )
        ax.set_xlabel(axis_label, fontsize=7)
    figure.suptitle(
        f"Persistence barcodes: {title}\nred: died; blue: still present once every edge is in (runs to \u221e)",
        fontsize=9,
    )
    return figure


def diagram(title, bars, axis_label):
    """The persistence diagram of all levels in one panel."""
    from matplotlib import pyplot

    low, high, infinity = value_range(bars)
    points = Counter((bar.q, bar.birth, bar.death) for bar in bars if bar.death > bar.birth)
    zero = sum(1 for bar in bars if bar.death <= bar.birth)
    levels = sorted({q for q, _, _ in points})
    colours = pyplot.get_cmap("viridis", max(len(levels), 2))
    figure, ax = pyplot.subplots(figsize=(5.5, 5), layout="constrained")
    ax.plot([low, high], [low, high], color="grey", linewidth=0.7)
    ax.axhline(infinity, color="grey", linewidth=0.7, linestyle="--")
    for k, q in enumerate(levels):
        at = [(birth, death, n) for (level, birth, death), n in points.items() if level == q]
        ax.scatter(
            [birth for birth, _, _ in at],
            [infinity if death == math.inf else death for _, death, _ in at],
            s=[12 * math.sqrt(n) for _, _, n in at],
            color=colours(k),
            alpha=0.75,
            label=f"q = {q}",
            clip_on=False,
        )
    ticks, labels = ticks_to_infinity(low, high, infinity)
    ax.set_xticks(ticks[:-1], labels[:-1])
    ax.set_yticks(ticks, labels)
    ax.set_xlim(low - (infinity - high), infinity)
    ax.set_ylim(low - (infinity - high), infinity + (infinity - high) / 2)
    ax.set_xlabel(f"birth, {axis_label}")
    ax.set_ylabel(f"death, {axis_label}")
    legend = ax.legend(fontsize=7, ncol=2, loc="lower right", title="level (size: records at the point)", title_fontsize=7)
    for handle in getattr(legend, "legend_handles", None) or legend.legendHandles:
        handle.set_sizes([20])
    ax.set_title(f"Persistence diagram: {title}\n{zero} records of zero length (on the diagonal) not drawn", fontsize=9)
    return figure
