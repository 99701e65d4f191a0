"""Throughput of ``r.get`` on one shared PyFormulasRegistry, from 1 thread
and from N threads at once (default 2), in calls per second.

    python benchmarks/parallel_get.py [--threads N] [--seconds S]

Each thread looks up a name of its own and calls a bound method it made
itself, as a hot loop would. On a free-threaded CPython the threads run in
parallel and the ratio shows how far the registry's per-shard reader-writer
locks let them; with the GIL it stays near 1. This is a benchmark: it
reports, it does not pass or fail.
"""

from __future__ import annotations

import argparse
import statistics
import sys
import threading
import time

from tessellarch._orbalin_core import PyFormulasRegistry

NAMES = ["n_gen", "phi", "b3", "chi_eff", "gamma_em", "roots_total", "jc_constant", "m_tau_mev"]


def throughput(registry: PyFormulasRegistry, threads: int, seconds: float) -> float:
    counts = [0] * threads
    start = threading.Barrier(threads + 1)
    stop = threading.Event()

    def worker(index: int) -> None:
        get = registry.get
        name = NAMES[index % len(NAMES)]
        calls = 0
        start.wait()
        while not stop.is_set():
            for _ in range(1000):
                get(name)
            calls += 1000
        counts[index] = calls

    workers = [threading.Thread(target=worker, args=(i,)) for i in range(threads)]
    for thread in workers:
        thread.start()
    start.wait()
    began = time.perf_counter()
    time.sleep(seconds)
    stop.set()
    for thread in workers:
        thread.join()
    return sum(counts) / (time.perf_counter() - began)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--threads", type=int, default=2)
    parser.add_argument("--seconds", type=float, default=1.0)
    parser.add_argument("--repeats", type=int, default=5)
    args = parser.parse_args()
    registry = PyFormulasRegistry()
    gil = sys._is_gil_enabled() if hasattr(sys, "_is_gil_enabled") else True
    single = statistics.median(throughput(registry, 1, args.seconds) for _ in range(args.repeats))
    multi = statistics.median(throughput(registry, args.threads, args.seconds) for _ in range(args.repeats))
    print(f"CPython {sys.version.split()[0]}, GIL {'enabled' if gil else 'disabled'}")
    print(f"r.get, 1 thread: {single / 1e6:.2f} M calls/s")
    print(f"r.get, {args.threads} threads: {multi / 1e6:.2f} M calls/s ({multi / single:.2f}x)")


if __name__ == "__main__":
    main()
