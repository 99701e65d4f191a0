"""Reference and memory-block leaks, measured where they can be seen.

Needs a debug interpreter (sys.gettotalrefcount); skipped elsewhere, except
when ORBALIN_REQUIRE_LEAK_LOOP is set (as `tools/check refleaks` does): then a
release interpreter is a failure, so the check cannot pass without measuring. Every
public operation and every failure path runs thousands of times after a
warm-up, and the interpreter's total reference count and allocated blocks
must end where they started, however many calls were made.
"""

import gc
import json
import os
import sys

import pytest

from tessellarch import _orbalin_core as core

if not hasattr(sys, "gettotalrefcount"):
    if os.environ.get("ORBALIN_REQUIRE_LEAK_LOOP"):
        raise RuntimeError(f"the leak loop needs a debug interpreter; {sys.executable} has no sys.gettotalrefcount")
    pytestmark = pytest.mark.skip(reason="needs a debug interpreter")

# Interpreter caches (method caches, free lists, dict resizes) may settle a
# few references or blocks either way; a leak of one per call would be about
# 80000 per window (1000 rounds of about 80 calls).
REFERENCE_TOLERANCE = 10
BLOCK_TOLERANCE = 64
ONE_TIME_CACHE_FILL = 512


class OddName(str):
    """A str subclass whose Python-level behaviour lies; only its bytes count."""

    def __eq__(self, other):
        return True

    def __hash__(self):
        return 1

    def __str__(self):
        return "b3"


class Real:
    def __float__(self):
        return 0.5


class Index:
    def __index__(self):
        return 1


class BadFloat:
    def __float__(self):
        return "no"


NAMES = ["n_gen", "phi", OddName("v_higgs_mev"), "missing", "N_GEN", "nul\0byte", "x" * (1 << 20), "\u00e9\U0001f600"]
NON_NAMES = [5, None, b"n_gen", ["n_gen"], object(), 1.5]
SURROGATES = ["\ud800", "ok\udfff"]
TOLERANCES = [0.0, -0.0, 1, True, Real(), Index(), float("nan"), -1]
NON_TOLERANCES = ["x", None, BadFloat(), [], object()]


def expect(exception, call, *args, **kwargs):
    try:
        call(*args, **kwargs)
    except exception:
        return
    raise AssertionError(f"{call} did not raise {exception}")


def every_operation(registry, matrix, internal_failure):
    core.py_list_constants()
    core.py_list_quarks()
    len(registry)
    len(core.PyQuarkRegistry())
    core.PyFormulasRegistry.version()
    core.PyCKMMatrix.from_topology().jarlskog()
    for name in NAMES:
        try:
            registry.get(name)
            core.py_get_constant(name)
        except KeyError:
            expect(KeyError, core.py_get_constant, name)
    for bad in NON_NAMES:
        expect(TypeError, registry.get, bad)
        expect(TypeError, core.py_get_constant, name=bad)
    for bad in SURROGATES:
        expect(UnicodeEncodeError, registry.get, bad)
        expect(UnicodeEncodeError, core.py_get_constant, bad)
    expect(internal_failure, core.py_get_constant, "")
    for tol in TOLERANCES:
        matrix.is_unitary(tol)
        matrix.is_unitary(tol=tol)
    for bad in NON_TOLERANCES:
        expect(TypeError, matrix.is_unitary, bad)
    expect(TypeError, registry.get)
    expect(TypeError, registry.get, "b3", name="b3")
    expect(TypeError, registry.get, "b3", "b3")
    expect(TypeError, registry.get, nom="b3")
    expect(TypeError, core.py_get_constant)
    expect(TypeError, matrix.is_unitary)
    expect(TypeError, matrix.is_unitary, 1, 2)
    expect(TypeError, matrix.is_unitary, 1, tol=1)
    expect(TypeError, core.PyFormulasRegistry, 1)
    expect(TypeError, core.PyQuarkRegistry, x=1)
    expect(TypeError, core.PyCKMMatrix)
    expect(TypeError, core.PyFormulasRegistry.get, 5, "b3")


def json_failures():
    real_loads = json.loads

    def refuse(text):
        raise ValueError(text)

    json.loads = refuse
    try:
        expect(ValueError, core.py_get_constant, "n_gen")
    finally:
        json.loads = real_loads
    saved = sys.modules["json"]
    sys.modules["json"] = None
    try:
        expect(ImportError, core.py_get_constant, "n_gen")
    finally:
        sys.modules["json"] = saved


def measure(rounds, registry, matrix, internal_failure):
    for _ in range(rounds):
        every_operation(registry, matrix, internal_failure)
        json_failures()
    gc.collect()
    return sys.gettotalrefcount(), sys.getallocatedblocks()


WINDOWS = 4
ROUNDS_PER_WINDOW = 1000


def test_no_reference_or_block_leaks(quiet_stderr, capsys):
    registry = core.PyFormulasRegistry()
    matrix = core.PyCKMMatrix.from_topology()
    try:
        core.py_get_constant("")
    except BaseException as error:  # noqa: BLE001 - InternalFailure is not an attribute
        internal_failure = type(error)

    # Warm-up long enough for the specialising interpreter (3.11+) and the
    # free lists to settle; the first few hundred rounds fill them once.
    measure(500, registry, matrix, internal_failure)
    marks = [measure(0, registry, matrix, internal_failure)]
    for _ in range(WINDOWS):
        marks.append(measure(ROUNDS_PER_WINDOW, registry, matrix, internal_failure))
    # No input of any shape changed the registry.
    assert len(registry) == 17 and registry.get("n_gen") == 3.0
    assert core.py_list_constants() == sorted(core.py_list_constants(), key=str.encode)
    reference_growth = [after[0] - before[0] for before, after in zip(marks, marks[1:])]
    block_growth = [after[1] - before[1] for before, after in zip(marks, marks[1:])]
    with capsys.disabled():
        print(
            f"\nrefleak check: {WINDOWS} windows of {ROUNDS_PER_WINDOW} rounds after 500 rounds of warm-up; "
            f"total refcount {marks[0][0]} -> {marks[-1][0]} (per window {reference_growth}); "
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
