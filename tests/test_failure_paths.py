"""A program that fails inside a call of the module ends as the same program
does without the module: each program runs in a child process twice, once
through the module and once through a pure-Python control doing the same
Python-level work, and both must end alike.

Two kinds of failure:
- the interpreter cannot allocate while the module builds a result: its own
  MemoryError reaches the caller, where `except MemoryError` handles it, and
  no hook of the program (sys.excepthook, sys.stderr) runs inside the call;
  Python code that walks every object the collector knows finds no
  half-built object among them;
- Python code that the module calls back (a __float__, json.loads, the
  diagnostic's sys.stderr.write) calls C++ code that throws. That exception
  is not the module's: without the module the C++ runtime finds no handler
  and ends the process with SIGABRT, and with the module it must too, rather
  than be turned into a Python exception while the interpreter's frames it
  skipped are still linked."""

import os
import signal
import subprocess
import sys
import textwrap

import pytest
from cores import native_core
from seed import CONSTANT_COUNT, CONSTANT_NAMES, QUARK_NAMES

native_core()  # what only the native core can do: skipped where it is not installed
pytestmark = pytest.mark.native_only


def exit_status(program, timeout=120):
    # Under AddressSanitizer (the asan session) LeakSanitizer would fail
    # either child for what CPython itself leaves behind when its own
    # allocations fail; how each program ends is what is compared.
    options = [option for option in os.environ.get("ASAN_OPTIONS", "").split(":") if option]
    env = {**os.environ, "ASAN_OPTIONS": ":".join([*options, "detect_leaks=0"])}
    # A program that hangs (a thread waiting on a lock its own hook holds,
    # say) fails the test when the timeout ends it.
    try:
        child = subprocess.run([sys.executable, "-c", textwrap.dedent(program)], capture_output=True, text=True,
                               timeout=timeout, env=env)
    except subprocess.TimeoutExpired as expired:
        return "timed out", decoded(expired.stdout), decoded(expired.stderr)
    return child.returncode, child.stdout, child.stderr


def decoded(output):
    return output.decode(errors="replace") if isinstance(output, bytes) else (output or "")


def assert_ends_alike(with_module, without_module):
    status, out, err = exit_status(with_module)
    control_status, control_out, control_err = exit_status(without_module)
    assert (status, out) == (control_status, control_out), (
        f"with the module: exit status {status}\n{out}\n{err[-2000:]}\n"
        f"without it: exit status {control_status}\n{control_out}\n{control_err[-2000:]}")


# --- Allocation failures while a result is being built ---------------------

try:
    import _testcapi

    can_fail_allocations = hasattr(_testcapi, "set_nomemory")
except ImportError:
    can_fail_allocations = False

# Each reporter walks the collector's objects and copies every list of the
# result's length: a list with an empty slot would be read there.
REPORTERS = {
    "gc_callback": """
        gc.set_threshold(1)
        gc.callbacks.append(lambda phase, info: walk())
        """,
    "excepthook": """
        sys.excepthook = lambda *exc: walk()
        """,
    "stderr": """
        class WalkingStderr:
            def write(self, text):
                walk()
                return len(text)
            def flush(self):
                pass
        sys.stderr = WalkingStderr()
        """,
}

LISTINGS = {
    "py_list_constants": (CONSTANT_COUNT, CONSTANT_NAMES),
    "py_list_quarks": (len(QUARK_NAMES), QUARK_NAMES),
}


def failing_allocations_program(reporter, size, listing):
    return f"""
import gc, sys, _testcapi
{listing}

def walk():
    for obj in gc.get_objects():
        if type(obj) is list and len(obj) == {size}:
            list(obj)
{textwrap.dedent(REPORTERS[reporter])}
for k in range(60):
    _testcapi.set_nomemory(k, k + 1)
    try:
        listing()
    except BaseException:
        pass
    finally:
        _testcapi.remove_mem_hooks()
print("exited normally")
"""


@pytest.mark.skipif(not can_fail_allocations, reason="needs _testcapi.set_nomemory")
@pytest.mark.parametrize("reporter", sorted(REPORTERS))
@pytest.mark.parametrize("function", sorted(LISTINGS))
def test_a_failed_allocation_leaves_no_half_built_list_in_reach(function, reporter):
    size, names = LISTINGS[function]
    assert_ends_alike(
        failing_allocations_program(reporter, size, f"from tessellarch._orbalin_core import {function} as listing"),
        failing_allocations_program(reporter, size, f"listing = lambda: list({names!r})"),
    )


def list_display(names):
    """Python code that makes a new list of the `names` (a tuple named N) as
    the module does, with one list of that length: a display of items that
    are not constants (which the compiler would fold into a tuple)."""
    return "[" + ", ".join(f"N[{i}]" for i in range(len(names))) + "]"


# Every entry point, each with a pure-Python control doing the same
# Python-level work: (setup, the call with the module, the control's setup,
# the call without it). json is imported beforehand, on both sides: its first
# import would make allocations that one side's k-th would hit and the
# other's not.
ENTRY_POINTS = {
    "py_list_constants": ("", "core.py_list_constants()", f"N = {tuple(CONSTANT_NAMES)!r}",
                          list_display(CONSTANT_NAMES)),
    "py_list_quarks": ("", "core.py_list_quarks()", f"N = {tuple(QUARK_NAMES)!r}", list_display(QUARK_NAMES)),
    "py_get_constant": ("import json", "core.py_get_constant('n_gen')", "import json",
                        "json.loads('{\"name\":\"n_gen\",\"value\":3.0}')"),
    "PyFormulasRegistry": ("", "core.PyFormulasRegistry()", "", "Slotted()"),
    "PyFormulasRegistry.get": ("r = core.PyFormulasRegistry()", "r.get('n_gen')", "", "VALUE * 1.0"),
    "PyFormulasRegistry.__len__": ("r = core.PyFormulasRegistry()", "len(r)", "", "len(d)"),
    "PyFormulasRegistry.version": ("", "core.PyFormulasRegistry.version()", "", "'2.3' + '.0'"),
    "PyQuarkRegistry": ("", "core.PyQuarkRegistry()", "", "Slotted()"),
    "PyCKMMatrix.from_topology": ("", "core.PyCKMMatrix.from_topology()", "", "Slotted()"),
    "PyCKMMatrix.is_unitary": ("m = core.PyCKMMatrix.from_topology()", "m.is_unitary(1e-12)", "",
                               "1e-12 >= VALUE"),
    "PyCKMMatrix.jarlskog": ("m = core.PyCKMMatrix.from_topology()", "m.jarlskog()", "", "VALUE * 0.0"),
}

ENDS_NORMALLY = "every allocation failed once\nexited normally []\n"


def memory_error_program(setup, call, where):
    """Fails each allocation of `call` in turn, with `except MemoryError`
    around it and a sys.excepthook that ends the process: if the failure
    reached the caller as anything else, or the hook ran inside the call,
    the program would not end as the control does. Then reports whether the
    last-error attributes that printing an error sets are there."""
    return f"""
import _thread, os, sys, threading, _testcapi
from tessellarch import _orbalin_core as core

class Slotted:
    __slots__ = ("value",)

VALUE = 3.0
d = dict.fromkeys("abc")
{setup}
sys.excepthook = lambda *exc: sys.exit(7)

def loop():
    for k in range(300):
        _testcapi.set_nomemory(k, k + 1)
        try:
            {call}
        except MemoryError:
            pass
        finally:
            _testcapi.remove_mem_hooks()
    print("every allocation failed once")

def worker_loop():
    go.acquire()
    try:
        loop()
    finally:
        done.release()

if {where == "thread"!r}:
    # The failing allocation is the k-th of the process, whichever thread
    # makes it: the main thread waits in a lock, where it makes none, from
    # before the loop starts until it has ended.
    go, done = _thread.allocate_lock(), _thread.allocate_lock()
    go.acquire()
    done.acquire()
    start_loop, wait_for_loop = go.release, done.acquire
    worker = threading.Thread(target=worker_loop)
    worker.start()
    start_loop()
    wait_for_loop()
    worker.join()
else:
    loop()
print("exited normally", [name for name in ("last_type", "last_value", "last_exc") if hasattr(sys, name)])
"""


@pytest.mark.skipif(not can_fail_allocations, reason="needs _testcapi.set_nomemory")
@pytest.mark.parametrize("where", ["main", "thread"])
@pytest.mark.parametrize("entry_point", sorted(ENTRY_POINTS))
def test_the_interpreters_memory_error_reaches_the_caller(entry_point, where):
    setup, call, control_setup, control = ENTRY_POINTS[entry_point]
    control_status, control_out, control_err = exit_status(memory_error_program(control_setup, control, where),
                                                           timeout=30)
    if (control_status, control_out) != (0, ENDS_NORMALLY):
        # Where the interpreter cannot survive its own failed allocations
        # (the free-threaded 3.13's list, whose failure path frees memory it
        # never allocated, then loops forever at exit), the module cannot do
        # better, and no comparison can be made.
        pytest.skip(f"without the module the same work ends with exit status {control_status}: "
                    f"{(control_out + control_err)[-300:]!r}")
    status, out, err = exit_status(memory_error_program(setup, call, where), timeout=30)
    assert (status, out) == (0, ENDS_NORMALLY), f"exit status {status}\n{out}\n{err[-3000:]}"


# --- C++ exceptions thrown by code that the module called back -------------

try:
    import ctypes
    import ctypes.util
except ImportError:  # a CPython built without libffi has no ctypes
    ctypes = None


def loadable_libstdcxx():
    """The name under which the GNU C++ runtime loads here, or None."""
    if ctypes is None:
        return None
    for name in ("libstdc++.so.6", ctypes.util.find_library("stdc++")):
        try:
            if name is not None:
                ctypes.PyDLL(name)
                return name
        except OSError:
            continue
    return None


libstdcxx_name = loadable_libstdcxx()

# `throw()` throws from inside the C++ runtime itself, called through ctypes
# with the interpreter lock held: a std::exception, or an int.
THROWERS = {
    "std_exception": """
        def throw():
            cxx._ZSt20__throw_length_errorPKc(b"thrown by a callback")
        """,
    "int": """
        def throw():
            cxx.__cxa_allocate_exception.restype = ctypes.c_void_p
            thrown = cxx.__cxa_allocate_exception(ctypes.sizeof(ctypes.c_int))
            ctypes.c_int.from_address(thrown).value = 42
            int_type = ctypes.addressof(ctypes.c_char.in_dll(cxx, "_ZTIi"))
            cxx.__cxa_throw(ctypes.c_void_p(thrown), ctypes.c_void_p(int_type), None)
        """,
}

# Where the module calls Python code that throws, and the same Python-level
# work without the module.
CALLBACKS = {
    "float_conversion": (
        """
        class Tol:
            def __float__(self):
                throw()
        from tessellarch._orbalin_core import PyCKMMatrix
        PyCKMMatrix.from_topology().is_unitary(Tol())
        """,
        """
        class Tol:
            def __float__(self):
                throw()
        float(Tol())
        """,
    ),
    "json_loads": (
        """
        import json
        json.loads = lambda text: throw()
        from tessellarch._orbalin_core import py_get_constant
        py_get_constant("phi")
        """,
        """
        import json
        json.loads = lambda text: throw()
        json.loads('{"name": "phi"}')
        """,
    ),
    "diagnostic": (
        """
        class ThrowingStderr:
            def write(self, text):
                throw()
        sys.stderr = ThrowingStderr()
        from tessellarch._orbalin_core import py_get_constant
        try:
            py_get_constant("")
        except BaseException:
            pass
        """,
        """
        class ThrowingStderr:
            def write(self, text):
                throw()
        sys.stderr = ThrowingStderr()
        try:
            sys.stderr.write("internal check failed")
        except BaseException:
            pass
        """,
    ),
}


def throwing_program(thrower, body):
    return (f"import ctypes, sys\ncxx = ctypes.PyDLL({libstdcxx_name!r})\n"
            + textwrap.dedent(THROWERS[thrower]) + textwrap.dedent(body) + "print('exited normally')\n")


@pytest.mark.skipif(libstdcxx_name is None, reason="needs ctypes and the GNU C++ runtime, libstdc++")
@pytest.mark.parametrize("thrower", sorted(THROWERS))
@pytest.mark.parametrize("callback", sorted(CALLBACKS))
def test_a_foreign_cxx_exception_is_not_caught_by_the_module(callback, thrower):
    with_module, without_module = CALLBACKS[callback]
    assert_ends_alike(throwing_program(thrower, with_module), throwing_program(thrower, without_module))
    # And that end is the C++ runtime's: terminate, abort.
    assert exit_status(throwing_program(thrower, without_module))[0] == -signal.SIGABRT
