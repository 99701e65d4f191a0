"""A program whose daemon threads are inside the module when the interpreter
shuts down exits as it would without the module.

CPython 3.10 to 3.13 end such a thread with pthread_exit when it waits for
the interpreter lock during finalization; the C runtime then unwinds its
stack, through the module's frames whenever the module had called back into
Python code. Each program below keeps four daemon threads in one such
callback and exits; the ballast it leaves behind makes finalization last long
enough that every waiting thread is ended that way. Before the module let
that unwind through, every one of these programs was killed by SIGABRT
("terminate called without an active exception") in most runs.

Some interpreters cannot end such a program cleanly even without the module:
CPython 3.13 built against musl dies with SIGSEGV in about half the runs of
a pure-Python program that only keeps its daemon threads busy. There the
module cannot do better than the interpreter, and these tests skip, naming
what the pure-Python control did."""

import os
import subprocess
import sys
import textwrap
from concurrent.futures import ThreadPoolExecutor

import pytest
from cores import native_core

native_core()  # what only the native core can do: skipped where it is not installed
pytestmark = pytest.mark.native_only

PRELUDE = """
import sys, threading, time
from tessellarch._orbalin_core import *

def busy():
    # Keeps the callback long, so that a thread is most likely in it when it
    # gives up the interpreter lock.
    total = 0
    for i in range(1000):
        total += i
    return total
"""

EXIT_WITH_THREADS_INSIDE = """
# Freed while the interpreter finalizes. Made before the threads start, with
# the collector off, so that making it is quick: made while four threads
# contend for the interpreter lock, each collection scanning the growing heap,
# it took a minute under qemu-user.
import gc
gc.disable()
ballast = [[] for _ in range(1_000_000)]
for _ in range(4):
    threading.Thread(target=loop, daemon=True).start()
time.sleep(0.2)
"""

# A tol whose conversion raises a TypeError that runs Python code in `method`
# when the module names the argument in it, or releases it.
REFUSED_TOL = """
    class Refusal(TypeError):
        def {method}(self):
            busy()
            return {result}
    class Tol:
        def __float__(self):
            raise Refusal
    def loop():
        matrix, tol = PyCKMMatrix.from_topology(), Tol()
        while True:
            try:
                matrix.is_unitary(tol)
            except TypeError:
                pass
    """

# Each program defines `loop`, which calls the module so that it calls back
# into Python code.
CALLBACKS = {
    "json.loads in py_get_constant": """
        def loop():
            while True:
                py_get_constant("phi")
        """,
    "__float__ of is_unitary's tol": """
        class Tol:
            def __float__(self):
                busy()
                return 1e-12
        def loop():
            matrix, tol = PyCKMMatrix.from_topology(), Tol()
            while True:
                matrix.is_unitary(tol)
        """,
    "__index__ of is_unitary's tol": """
        class Tol:
            def __index__(self):
                busy()
                return 0
        def loop():
            matrix, tol = PyCKMMatrix.from_topology(), Tol()
            while True:
                matrix.is_unitary(tol=tol)
        """,
    "sys.stderr.write of a failed check's diagnostic": """
        class Sink:
            def write(self, text):
                busy()
                return len(text)
            def flush(self):
                pass
        sys.stderr = Sink()
        def loop():
            while True:
                try:
                    py_get_constant("")
                except BaseException as error:
                    if type(error).__name__ != "InternalFailure":
                        raise
        """,
    "__str__ of a refusal that gets the argument's name": REFUSED_TOL.format(method="__str__", result="'refused'"),
    "__del__ of a refusal the module releases": REFUSED_TOL.format(method="__del__", result="None"),
}

RUNS = 4

# The same exit with daemon threads busy in Python code alone.
CONTROL = """
import threading, time
def loop():
    while True:
        total = 0
        for i in range(1000):
            total += i
""" + EXIT_WITH_THREADS_INSIDE
CONTROL_RUNS = 12


def without_leak_check():
    """The child's environment. Under AddressSanitizer, a thread ended in the
    middle of a call leaves behind what its frames held, the interpreter's
    and the module's alike; that is the price of ending it, not a leak to
    report here."""
    env = dict(os.environ)
    env["ASAN_OPTIONS"] = ":".join(filter(None, [env.get("ASAN_OPTIONS"), "detect_leaks=0"]))
    return env


def run_program(source):
    child = subprocess.run(
        [sys.executable, "-c", source], capture_output=True, text=True, timeout=120, env=without_leak_check()
    )
    return child.returncode, child.stderr


def run_in_parallel(source, runs):
    with ThreadPoolExecutor(max_workers=2) as pool:
        return list(pool.map(run_program, [source] * runs))


@pytest.fixture(scope="module")
def interpreter_exits_cleanly():
    """Skips unless this interpreter ends the pure-Python control cleanly in
    every run: a crash the module's programs share with it is not theirs."""
    failed = [outcome for outcome in run_in_parallel(CONTROL, CONTROL_RUNS) if outcome != (0, "")]
    if failed:
        pytest.skip(f"without the module, {len(failed)} of {CONTROL_RUNS} runs of a pure-Python program with "
                    f"busy daemon threads failed too; first: exit status {failed[0][0]}")


@pytest.mark.usefixtures("interpreter_exits_cleanly")
@pytest.mark.parametrize("callback", sorted(CALLBACKS))
def test_exit_with_daemon_threads_inside_a_callback(callback):
    source = PRELUDE + textwrap.dedent(CALLBACKS[callback]) + EXIT_WITH_THREADS_INSIDE
    outcomes = run_in_parallel(source, RUNS)
    failed = [outcome for outcome in outcomes if outcome != (0, "")]
    assert not failed, f"{len(failed)} of {RUNS} runs failed; first: exit status {failed[0][0]}\n{failed[0][1]}"
