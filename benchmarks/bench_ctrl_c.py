"""How soon Ctrl-C stops a call, sent at random moments into large calls.

    python3 benchmarks/bench_ctrl_c.py INTERPRETER [INTERPRETER ...] [--runs N] [--busy]

Each workload runs in a subprocess of its own under each interpreter; after a
first call that gives its length, SIGINT is sent at a uniformly random moment
of each following call, and the latency is the time from sending it to the
KeyboardInterrupt reaching the caller. The table gives, per workload, the
median and the worst latency, and the worst by the part of the call the signal
fell in (first, middle and last third: roughly conversion, native work, result
building and freeing). --busy keeps one CPU-bound process running meanwhile.
"""

import argparse
import json
import os
import random
import signal
import statistics
import subprocess
import sys
import time

from common import print_table


def hub_complex(count, seed):
    """Random simplices over a pool of vertices, a few hubs in most of them."""
    rng = random.Random(seed)
    pool = count // 4
    return [[rng.randrange(pool) for _ in range(rng.randint(2, 8))] + [pool + rng.randrange(4)]
            for _ in range(count)]


def random_edges(vertex_count, edge_count, seed):
    rng = random.Random(seed)
    return [(rng.randrange(vertex_count), rng.randrange(vertex_count)) for _ in range(edge_count)]


def dense_edges(vertex_count, p, seed):
    rng = random.Random(seed)
    return [(u, v) for u in range(vertex_count) for v in range(u + 1, vertex_count) if rng.random() < p]


def weighted(edges, seed):
    rng = random.Random(seed)
    return [(u, v, rng.random()) for u, v in edges]


def workloads():
    """(name, function name, make arguments) for every row."""
    return [
        ("hierarchy, 100,000 simplices with hubs", "py_find_hierarchical_q_components",
         lambda: (hub_complex(100_000, 1),)),
        ("graph levels, complete graph on 800 vertices", "py_find_hierarchical_q_components_within_graph",
         lambda: (dense_edges(800, 1.0, 2), None)),
        ("graph levels, sparse, 600,000 edges", "py_find_hierarchical_q_components_within_graph",
         lambda: (random_edges(100_000, 600_000, 3), None)),
        ("persistence, dense G(130, 0.5)", "py_calculate_persistent_q_components",
         lambda: (weighted(dense_edges(130, 0.5, 4), 5), None)),
        ("persistence, sparse G(16,000, 32,000)", "py_calculate_persistent_q_components",
         lambda: (weighted(random_edges(16_000, 32_000, 6), 7), None)),
        ("reference: the interpreter alone, a Python loop of 1 s", None, lambda: ()),
    ]


def python_loop():
    deadline = time.monotonic() + 1.0
    while time.monotonic() < deadline:
        pass


def child(row):
    """Calls the workload again and again, reporting each call on stdout."""
    import korvane

    _, function, make_arguments = workloads()[row]
    call = getattr(korvane, function) if function is not None else python_loop
    arguments = make_arguments()
    length = float("inf")
    for _ in range(2):
        start = time.monotonic()
        result = call(*arguments)
        length = min(length, time.monotonic() - start)
        result = None  # freeing a result is the caller's time, not the call's
    print(json.dumps({"length": length}), flush=True)
    for _ in sys.stdin:
        result = None
        try:
            start = time.monotonic()
            print(json.dumps({"start": start}), flush=True)
            result = call(*arguments)
            finished = time.monotonic()
            print(json.dumps({"finished": finished}), flush=True)
            time.sleep(10)  # a late signal lands here
        except KeyboardInterrupt:
            print(json.dumps({"interrupted": time.monotonic()}), flush=True)


def probe(interpreter, row, runs):
    """The latencies of `runs` interrupted calls, each with the fraction of the
    call that had passed when the signal was sent."""
    process = subprocess.Popen([interpreter, os.path.abspath(__file__), "--child", str(row)],
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    rng = random.Random(row)
    samples = []
    try:
        length = json.loads(process.stdout.readline())["length"]
        while len(samples) < runs:
            process.stdin.write("go\n")
            process.stdin.flush()
            start = json.loads(process.stdout.readline())["start"]
            time.sleep(max(0.0, start + rng.uniform(0.0, length) - time.monotonic()))
            sent = time.monotonic()
            process.send_signal(signal.SIGINT)
            answer = json.loads(process.stdout.readline())
            if "finished" in answer:
                finished = answer["finished"]
                answer = json.loads(process.stdout.readline())
                if finished <= sent:
                    continue  # sent after the call had returned
            samples.append(((sent - start) / length, answer["interrupted"] - sent))
    finally:
        process.kill()
        process.wait()
    return samples


def label(interpreter):
    return subprocess.run([interpreter, "-c", "import platform; print(platform.python_implementation())"],
                          check=True, stdout=subprocess.PIPE, text=True).stdout.strip()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("interpreters", nargs="*")
    parser.add_argument("--runs", type=int, default=20)
    parser.add_argument("--busy", action="store_true", help="keep one CPU-bound process running")
    parser.add_argument("--rows", help="comma-separated row numbers (default: all)")
    parser.add_argument("--child", type=int, help=argparse.SUPPRESS)
    options = parser.parse_args()
    if options.child is not None:
        child(options.child)
        return
    if not options.interpreters:
        parser.error("give at least one interpreter")
    busy = subprocess.Popen([sys.executable, "-c", "while True: pass"]) if options.busy else None
    try:
        rows = []
        chosen = range(len(workloads())) if options.rows is None else map(int, options.rows.split(","))
        for row in chosen:
            for interpreter in options.interpreters:
                samples = probe(interpreter, row, options.runs)
                latencies = [latency for _, latency in samples]
                thirds = [[latency for at, latency in samples if third / 3 <= min(at, 0.999) < (third + 1) / 3]
                          for third in range(3)]
                rows.append([workloads()[row][0], label(interpreter),
                             f"{statistics.median(latencies) * 1e3:.0f}", f"{max(latencies) * 1e3:.0f}",
                             *(f"{max(t) * 1e3:.0f}" if t else "-" for t in thirds)])
                print("  ".join(rows[-1]), file=sys.stderr, flush=True)
    finally:
        if busy is not None:
            busy.kill()
            busy.wait()
    print_table(["workload", "interpreter", "median ms", "worst ms", "worst, 1st third", "2nd third", "3rd third"],
                rows)


if __name__ == "__main__":
    main()
