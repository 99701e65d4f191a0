"""A second interpreter is refused by the native core, and the first keeps a
working module; the package itself works in the second, on its Python side."""

import importlib
import os
import sys
import sysconfig

import pytest
from cores import native_core
from seed import QUARK_NAMES, VALUES

_orbalin_core = native_core()
pytestmark = pytest.mark.native_only


def subinterpreter_module():
    for name in ("_interpreters", "_xxsubinterpreters"):
        try:
            return importlib.import_module(name)
        except ImportError:
            continue
    return None


interpreters = subinterpreter_module()
FREE_THREADED = bool(sysconfig.get_config_var("Py_GIL_DISABLED"))
needs_subinterpreters = pytest.mark.skipif(interpreters is None, reason="no subinterpreter module")

# Runs inside the subinterpreter and reports through a pipe, so nothing
# depends on how each version hands exceptions back.
SCRIPT = """
import os
try:
    import tessellarch._orbalin_core
except ImportError as error:
    report = "ImportError:" + str(error)
except BaseException as error:
    report = "other:" + type(error).__name__ + ":" + str(error)
else:
    report = "imported"
os.write({fd}, report.encode())
"""


def create(kind):
    """A subinterpreter, isolated (the default) or with the legacy settings
    that let single-phase modules reach their init function."""
    if kind == "isolated":
        return interpreters.create()
    if interpreters.__name__ == "_interpreters":
        return interpreters.create("legacy")
    if sys.version_info >= (3, 12):
        return interpreters.create(isolated=False)
    return interpreters.create()  # before 3.12 every subinterpreter is legacy


# The package in a subinterpreter: it runs the Python side there.
PACKAGE_SCRIPT = """
import os
try:
    import tessellarch
    report = " ".join([tessellarch.core.__name__, *tessellarch.py_list_quarks(),
                       repr(tessellarch.py_get_constant("phi")["value"])])
except BaseException as error:
    report = "failed:" + type(error).__name__ + ":" + str(error)
os.write({fd}, report.encode())
"""


def import_in_subinterpreter(kind, script=SCRIPT):
    read_end, write_end = os.pipe()
    interp = create(kind)
    try:
        interpreters.run_string(interp, script.format(fd=write_end))
    finally:
        interpreters.destroy(interp)
        os.close(write_end)
    with os.fdopen(read_end, "rb") as pipe:
        return pipe.read().decode()


@needs_subinterpreters
@pytest.mark.parametrize("kind", ["isolated", "legacy"])
def test_second_interpreter_is_refused_and_the_first_keeps_working(kind):
    report = import_in_subinterpreter(kind)
    assert report.startswith("ImportError:"), report
    if kind == "legacy" and not FREE_THREADED:
        assert "does not support subinterpreters" in report
    # A free-threaded interpreter refuses single-phase modules in every
    # subinterpreter itself, before the module's own check can run.
    assert _orbalin_core.py_list_quarks() == QUARK_NAMES
    assert _orbalin_core.PyFormulasRegistry().get("n_gen") == VALUES["n_gen"]
    assert _orbalin_core.py_get_constant("b3")["value"] == VALUES["b3"]


@needs_subinterpreters
@pytest.mark.parametrize("kind", ["isolated", "legacy"])
def test_the_package_works_in_a_second_interpreter_on_its_python_side(kind):
    report = import_in_subinterpreter(kind, PACKAGE_SCRIPT)
    assert report == " ".join(["tessellarch._pyorbalin_core", *QUARK_NAMES, repr(VALUES["phi"])]), report
    assert _orbalin_core.py_list_quarks() == QUARK_NAMES
