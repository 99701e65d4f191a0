"""Nothing is left behind: instances release their type, failures their
objects. Reference counts are the native core's concern alone: the Python
side's objects are the interpreter's own."""

import gc
import json
import sys

import pytest
from calls import Calls
from cores import native_core

core = native_core()
CALLS = Calls(core)
PyFormulasRegistry, PyQuarkRegistry, PyCKMMatrix = core.PyFormulasRegistry, core.PyQuarkRegistry, core.PyCKMMatrix
pytestmark = pytest.mark.native_only

ROUNDS = 2000
REFERENCE_TOLERANCE = 2
# Free lists and dict resizes move the count of live blocks a little either way.
BLOCK_TOLERANCE = 256


def settle():
    gc.collect()
    return sys.getallocatedblocks()


@pytest.mark.parametrize(
    "cls, make", [(PyFormulasRegistry, PyFormulasRegistry), (PyQuarkRegistry, PyQuarkRegistry),
                  (PyCKMMatrix, PyCKMMatrix.from_topology)]
)
def test_instances_hold_and_release_their_type(cls, make):
    gc.collect()
    before = sys.getrefcount(cls)
    held = [make() for _ in range(100)]
    assert sys.getrefcount(cls) == before + 100
    del held
    assert sys.getrefcount(cls) == before
    for _ in range(ROUNDS):
        make()
    assert sys.getrefcount(cls) == before


@pytest.mark.usefixtures("quiet_stderr")  # the empty name's diagnostic, thousands of times
def test_every_call_keeps_reference_counts_and_blocks_stable():
    watched = [*CALLS.passed_objects(), json.loads, PyFormulasRegistry, PyQuarkRegistry, PyCKMMatrix]
    # Warm caches first: interned strings, method caches, free lists, and the
    # specialising interpreter's (3.12's among them), which fill once.
    for _ in range(ROUNDS // 2):
        CALLS.every_call()
    blocks = settle()  # collect first: tracebacks of caught errors form cycles
    counts = [sys.getrefcount(obj) for obj in watched]
    for _ in range(ROUNDS):
        CALLS.every_call()
    gc.collect()
    # A reference kept or dropped per call would move a count by thousands.
    # The passed strings are interned, shared with every other module that
    # names them, so the rest of the run may move them by one or two.
    moved = [(obj, sys.getrefcount(obj) - before) for obj, before in zip(watched, counts)]
    assert [(obj, change) for obj, change in moved if abs(change) > REFERENCE_TOLERANCE] == []
    # A leak of one block per call would show as hundreds of thousands.
    assert settle() - blocks < BLOCK_TOLERANCE
