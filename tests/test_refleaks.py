"""Reference and memory-block leaks of the native core, measured where they
can be seen (the Python side's objects are the interpreter's own).

Needs a debug interpreter (sys.gettotalrefcount); skipped elsewhere, except
when ORBALIN_REQUIRE_LEAK_LOOP is set (as `nox -s refleaks` does): then a
release interpreter is a failure, so the check cannot pass without measuring. Every
public operation and every failure path (calls.every_call: each accepted call,
each row of the calling-rules table, the json failures) runs thousands of
times after a warm-up, and the interpreter's total reference count and allocated blocks
must end where they started, however many calls were made.
"""

import gc
import os
import sys

import pytest
from calls import Calls
from cores import native_core
from seed import CONSTANT_COUNT, CONSTANT_NAMES, VALUES

core = native_core()
CALLS = Calls(core)
REGISTRY = CALLS.registry
every_call = CALLS.every_call

if not hasattr(sys, "gettotalrefcount"):
    if os.environ.get("ORBALIN_REQUIRE_LEAK_LOOP"):
        raise RuntimeError(f"the leak loop needs a debug interpreter; {sys.executable} has no sys.gettotalrefcount")
    pytestmark = pytest.mark.skip(reason="needs a debug interpreter")

# Interpreter caches (method caches, free lists, dict resizes) may settle a
# few references or blocks either way; a leak of one per call would be about
# 80000 per window (400 rounds of about 220 calls).
REFERENCE_TOLERANCE = 10
BLOCK_TOLERANCE = 64
ONE_TIME_CACHE_FILL = 512


def measure(rounds):
    for _ in range(rounds):
        every_call()
    gc.collect()
    return sys.gettotalrefcount(), sys.getallocatedblocks()


WARM_UP_ROUNDS = 500
WINDOWS = 4
ROUNDS_PER_WINDOW = 400


def test_no_reference_or_block_leaks(quiet_stderr, capsys):
    # Warm-up long enough for the specialising interpreter (3.11+) and the
    # free lists to settle; the first few hundred rounds fill them once.
    measure(WARM_UP_ROUNDS)
    marks = [measure(0)]
    for _ in range(WINDOWS):
        marks.append(measure(ROUNDS_PER_WINDOW))
    # No input of any shape changed the registry.
    assert len(REGISTRY) == CONSTANT_COUNT and REGISTRY.get("n_gen") == VALUES["n_gen"]
    assert core.py_list_constants() == CONSTANT_NAMES
    reference_growth = [after[0] - before[0] for before, after in zip(marks, marks[1:])]
    block_growth = [after[1] - before[1] for before, after in zip(marks, marks[1:])]
    with capsys.disabled():
        print(
            f"\nrefleak check: {WINDOWS} windows of {ROUNDS_PER_WINDOW} rounds after {WARM_UP_ROUNDS} rounds of "
            f"warm-up; total refcount {marks[0][0]} -> {marks[-1][0]} (per window {reference_growth}); "
            f"allocated blocks {marks[0][1]} -> {marks[-1][1]} (per window {block_growth})"
        )
    # A leak grows in every window. (The marks themselves, a tuple of two ints
    # each, show as 3 references and 3 blocks per window.) An interpreter
    # cache may fill once, in
    # any one window, by a bounded amount; it never comes back.
    assert all(abs(growth) <= REFERENCE_TOLERANCE for growth in reference_growth), reference_growth
    windows_that_grew = [growth for growth in block_growth if abs(growth) > BLOCK_TOLERANCE]
    assert len(windows_that_grew) <= 1, block_growth
    assert abs(sum(block_growth)) <= ONE_TIME_CACHE_FILL + BLOCK_TOLERANCE * WINDOWS, block_growth
