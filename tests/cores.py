"""The package's two cores, as the tests see them: the native extension, when
it is installed, and the Python side. conftest.py runs each test that asks
for `core` against both; modules of native-only tests take the native core
from `native_core()`."""

import contextlib
import io
import os
import sys

import pytest

from tessellarch import _pyorbalin_core

# Set where the native core cannot be had (PyPy, a build without a compiler):
# the suite then requires it to be absent and skips what only it has.
PYTHON_SIDE_ONLY = bool(os.environ.get("ORBALIN_PYTHON_SIDE_ONLY"))


def native_module():
    """tessellarch._orbalin_core, or None where it is not installed."""
    try:
        import tessellarch._orbalin_core as native
    except ModuleNotFoundError as error:
        if error.name != "tessellarch._orbalin_core":
            raise
        return None
    return native


# Each core under the id its tests carry.
CORES = {"native": native_module(), "python": _pyorbalin_core}


def python_side_on_pypy(core):
    """Whether `core` is the Python side running on PyPy, whose objects differ
    from CPython's in what the README lists (weak references, __class__)."""
    return core is CORES["python"] and sys.implementation.name == "pypy"


def native_core():
    """The native core, for a module of native-only tests; skips the module
    where the core is not installed (which conftest allows only on purpose)."""
    if CORES["native"] is None:
        pytest.skip("the native core is not installed", allow_module_level=True)
    return CORES["native"]


def internal_failure_class(core):
    """A core's InternalFailure, which neither core makes a module attribute;
    the empty name brings one out (with a diagnostic on sys.stderr, not
    wanted where this is asked)."""
    try:
        with contextlib.redirect_stderr(io.StringIO()):
            core.py_get_constant("")
    except BaseException as error:  # noqa: BLE001 - that is the point
        return type(error)
    raise AssertionError(f"{core.__name__}.py_get_constant('') did not fail")
