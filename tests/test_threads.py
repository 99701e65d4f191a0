"""Many Python threads calling every public operation of a core at once,
each result checked."""

import os
import subprocess
import sys
import sysconfig
import textwrap
import threading
import time

import pytest
from seed import CONSTANT_COUNT, QUARK_NAMES, VALUES

THREADS = 8
SECONDS = 1.0  # a bound on the run, not a speed requirement


def one_round(core, shared_registry, shared_matrix, constants):
    assert core.py_list_constants() == constants
    assert core.py_list_quarks() == QUARK_NAMES
    for name in ("n_gen", "phi", "v_higgs_mev"):
        sheet = core.py_get_constant(name)
        assert sheet["name"] == name
        assert sheet["value"] == shared_registry.get(name)
    assert len(shared_registry) == CONSTANT_COUNT
    own = core.PyFormulasRegistry()
    assert own.get(name="b3") == VALUES["b3"] and len(own) == CONSTANT_COUNT
    assert len(core.PyQuarkRegistry()) == 0
    assert shared_matrix.is_unitary(0.0) is True and shared_matrix.is_unitary(-1) is False
    assert core.PyCKMMatrix.from_topology().jarlskog() == 0.0
    try:
        shared_registry.get("missing")
    except KeyError as error:
        assert error.args == ("constant `missing` not found in registry",)
    else:
        raise AssertionError("missing name was found")


def test_threads_share_instances_and_call_everything(core):
    registry = core.PyFormulasRegistry()
    matrix = core.PyCKMMatrix.from_topology()
    constants = core.py_list_constants()
    failures = []
    rounds = [0] * THREADS
    start = threading.Barrier(THREADS)
    deadline = time.monotonic() + SECONDS

    def worker(index):
        start.wait()
        try:
            while time.monotonic() < deadline:
                one_round(core, registry, matrix, constants)
                rounds[index] += 1
        except BaseException as error:  # noqa: BLE001 - reported below
            failures.append(repr(error))

    threads = [threading.Thread(target=worker, args=(i,)) for i in range(THREADS)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert failures == []
    assert all(count > 0 for count in rounds)


@pytest.mark.native_only
def test_first_imports_racing_in_threads_share_one_module():
    # A fresh interpreter, so the module's process-wide objects (its cache,
    # types, InternalFailure) are made while eight threads race for them.
    code = textwrap.dedent(
        """
        import importlib, threading
        start = threading.Barrier(8)
        seen = []

        def worker():
            start.wait()
            core = importlib.import_module("tessellarch._orbalin_core")
            try:
                core.py_get_constant("")
            except BaseException as error:
                failure = type(error)
            seen.append((core, core.PyFormulasRegistry, failure, len(core.PyFormulasRegistry())))

        threads = [threading.Thread(target=worker) for _ in range(8)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        assert len(seen) == 8 and len(set(seen)) == 1, seen
        print("one module")
        """
    )
    child = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=120)
    assert child.returncode == 0, child.stderr
    assert child.stdout == "one module\n"


@pytest.mark.native_only
@pytest.mark.skipif(not sysconfig.get_config_var("Py_GIL_DISABLED"), reason="needs a free-threaded CPython")
@pytest.mark.parametrize("module", ["tessellarch._orbalin_core", "tessellarch"])
def test_importing_the_module_leaves_the_gil_off(module):
    # A fresh interpreter, so that this import is the first: a module that
    # does not declare that it needs no GIL turns it back on, with a warning.
    env = {name: value for name, value in os.environ.items() if name != "PYTHON_GIL"}
    child = subprocess.run(
        [sys.executable, "-W", "error::RuntimeWarning", "-c",
         f"import sys, {module}; print(sys._is_gil_enabled())"],
        capture_output=True, text=True, timeout=120, env=env)
    assert (child.returncode, child.stdout) == (0, "False\n"), child.stderr
