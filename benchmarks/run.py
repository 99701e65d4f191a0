"""Benchmark of every public operation: the native core against the
package's Python side (what a user gets without the native core), against
an idiomatic pure-Python flavour, and against the floors no implementation
can beat.

    python benchmarks/run.py [--repeats N] [--target-ms MS]

Each operation's implementations are timed interleaved (native, Python side,
idiomatic, floor, then again), so drift of the machine hits them alike; the
table shows the median of the repeats in ns per call, and ratios measured in
the same run. This is a benchmark: it reports, it does not pass or fail.
"""

from __future__ import annotations

import argparse
import json
import os
import platform
import statistics
import sys
import timeit
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import idiomatic  # noqa: E402

from tessellarch import _orbalin_core as native  # noqa: E402
from tessellarch import _pyorbalin_core as python_side  # noqa: E402

N_GEN_TEXT = '{"name":"n_gen","status":"Seed","uncertainty":null,"units":"count","value":3.0}'
assert len(N_GEN_TEXT.encode()) == 79


# How much faster than the Python side each operation should be; the trivial
# calls, which are mostly the cost of any call into C, keep 3x.
SPEEDUP_TARGETS = {
    "PyFormulasRegistry()": 12.0,
    "py_list_constants()": 6.0,
    "py_list_quarks()": 3.0,
    'py_get_constant("n_gen")': 4.5,
}
DEFAULT_SPEEDUP_TARGET = 3.0


def operations():
    """(label, {implementation: zero-argument callable}, floor or None, target)."""
    impls = {"native": native, "python": python_side, "idiomatic": idiomatic}
    registries = {key: module.PyFormulasRegistry() for key, module in impls.items()}
    quark_registries = {key: module.PyQuarkRegistry() for key, module in impls.items()}
    matrices = {key: module.PyCKMMatrix.from_topology() for key, module in impls.items()}
    values = {"n_gen": 3.0}
    loads = json.loads

    def each(make):
        return {key: make(key, module) for key, module in impls.items()}

    return [
        ("py_list_constants()", each(lambda k, m: m.py_list_constants), None, None),
        ("py_list_quarks()", each(lambda k, m: m.py_list_quarks), None, None),
        ('py_get_constant("n_gen")', each(lambda k, m: lambda: m.py_get_constant("n_gen")),
         ("json.loads(79 B)", lambda: loads(N_GEN_TEXT)), 1.7),
        ("PyFormulasRegistry()", each(lambda k, m: m.PyFormulasRegistry), None, None),
        ('r.get("n_gen")', each(lambda k, m: lambda r=registries[k]: r.get("n_gen")),
         ('dict["n_gen"]', lambda: values["n_gen"]), 1.5),
        ("len(r)", each(lambda k, m: lambda r=registries[k]: len(r)), None, None),
        ("PyFormulasRegistry.version()", each(lambda k, m: m.PyFormulasRegistry.version), None, None),
        ("PyQuarkRegistry()", each(lambda k, m: m.PyQuarkRegistry), None, None),
        ("len(q)", each(lambda k, m: lambda q=quark_registries[k]: len(q)), None, None),
        ("PyCKMMatrix.from_topology()", each(lambda k, m: m.PyCKMMatrix.from_topology), None, None),
        ("m.is_unitary(1e-12)", each(lambda k, m: lambda x=matrices[k]: x.is_unitary(1e-12)), None, None),
        ("m.jarlskog()", each(lambda k, m: lambda x=matrices[k]: x.jarlskog()), None, None),
    ]


def calibrate(call, target_seconds):
    number = 1
    while True:
        elapsed = timeit.timeit(call, number=number)
        if elapsed >= target_seconds / 4:
            return max(1, int(number * target_seconds / elapsed))
        number *= 4


def measure(calls, repeats, target_seconds):
    numbers = {key: calibrate(call, target_seconds) for key, call in calls.items()}
    samples = {key: [] for key in calls}
    for _ in range(repeats):
        for key, call in calls.items():  # interleaved
            samples[key].append(timeit.timeit(call, number=numbers[key]) / numbers[key] * 1e9)
    return {key: statistics.median(values) for key, values in samples.items()}


def machine():
    cpu = "unknown CPU"
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    cores = len(os.sched_getaffinity(0)) if hasattr(os, "sched_getaffinity") else os.cpu_count()
    return f"{cpu}, {cores} cores, {platform.system()} {platform.machine()}, CPython {platform.python_version()}"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeats", type=int, default=9)
    parser.add_argument("--target-ms", type=float, default=40.0, help="time per sample")
    args = parser.parse_args()

    print(f"Machine: {machine()}")
    print(f"Median of {args.repeats} interleaved repeats, ns per call\n")
    print("| operation | native | Python side | idiomatic | floor | Python side / native | native / floor |")
    print("|---|---:|---:|---:|---:|---:|---:|")
    verdicts = []
    for label, calls, floor, floor_target in operations():
        all_calls = dict(calls)
        if floor:
            all_calls["floor"] = floor[1]
        ns = measure(all_calls, args.repeats, args.target_ms / 1000)
        speedup = ns["python"] / ns["native"]
        target = SPEEDUP_TARGETS.get(label, DEFAULT_SPEEDUP_TARGET)
        verdicts.append(
            (f"{label}: native at least {target:g}x faster than the Python side", speedup >= target,
             f"{speedup:.1f}x")
        )
        floor_cell = ratio_cell = "-"
        if floor:
            ratio = ns["native"] / ns["floor"]
            floor_cell = f"{ns['floor']:.0f} ({floor[0]})"
            ratio_cell = f"{ratio:.2f}"
            verdicts.append((f"{label}: within {floor_target:g}x of {floor[0]}", ratio <= floor_target, f"{ratio:.2f}x"))
        print(
            f"| `{label}` | {ns['native']:.0f} | {ns['python']:.0f} | {ns['idiomatic']:.0f} | {floor_cell} "
            f"| {speedup:.1f} | {ratio_cell} |"
        )
    bit_length = (1).bit_length
    floor_ns = measure({"call": bit_length}, args.repeats, args.target_ms / 1000)["call"]
    print(f"\nFloor of any call into C from Python here, `(1).bit_length()`: {floor_ns:.0f} ns")
    print("\nTargets")
    for text, met, measured in verdicts:
        print(f"  {'met   ' if met else 'MISSED'}  {text} ({measured})")


if __name__ == "__main__":
    main()
