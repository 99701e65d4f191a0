"""Shared fixtures. The suite must exercise the installed package, never the
source tree, so importing it from the checkout is a hard error.

Every test that asks for the `core` fixture runs once against each core of
the package: the native extension and the Python side. Tests of what only a
native object has are marked `native_only` and run against the native core
alone. The native core must be installed, so that no check passes without
it having run, unless ORBALIN_PYTHON_SIDE_ONLY is set (a system with no native
core, such as PyPy, or a build without a compiler): then it must be absent,
and the native-only tests skip.

The tests' own helper modules (the seed data, the table of calls) sit beside
this file; pytest imports test files without putting their directory on
sys.path, so it is put there here, ahead of any test module."""

import os
import pathlib
import sys

import pytest

import tessellarch

TESTS_DIR = pathlib.Path(__file__).resolve().parent
SOURCE_PACKAGE = TESTS_DIR.parent / "python" / "tessellarch"
sys.path.insert(0, str(TESTS_DIR))

from cores import CORES, PYTHON_SIDE_ONLY  # noqa: E402 - found through the line above

_orbalin_core = CORES["native"]


def pytest_configure(config):
    package_dir = pathlib.Path(tessellarch.__file__).resolve().parent
    expected = os.environ.get("ORBALIN_EXPECT_PACKAGE")
    if expected and package_dir != pathlib.Path(expected).resolve():
        raise pytest.UsageError(f"tessellarch was imported from {package_dir}, expected {expected}")
    if package_dir == SOURCE_PACKAGE:
        raise pytest.UsageError(
            f"tessellarch was imported from the source tree ({package_dir}); "
            "run the tests from outside it against the installed package"
        )
    if PYTHON_SIDE_ONLY and _orbalin_core is not None:
        raise pytest.UsageError("ORBALIN_PYTHON_SIDE_ONLY is set, but the native core is installed")
    if not PYTHON_SIDE_ONLY and _orbalin_core is None:
        raise pytest.UsageError("the native core tessellarch._orbalin_core is not installed "
                                "(set ORBALIN_PYTHON_SIDE_ONLY to test the Python side alone)")


def pytest_generate_tests(metafunc):
    if "core" not in metafunc.fixturenames:
        return
    ids = ["native"] if metafunc.definition.get_closest_marker("native_only") else list(CORES)
    metafunc.parametrize("core", [core_param(name) for name in ids])


def core_param(name):
    if CORES[name] is None:
        return pytest.param(None, id=name, marks=pytest.mark.skip(reason="the native core is not installed"))
    return pytest.param(CORES[name], id=name)


def pytest_collection_modifyitems(items):
    if _orbalin_core is None:
        skip = pytest.mark.skip(reason="the native core is not installed")
        for item in items:
            if item.get_closest_marker("native_only"):
                item.add_marker(skip)


class DiscardingWriter:
    """A sys.stderr that keeps nothing, so loops that make the module write
    its diagnostic do not grow a capture buffer while memory is measured."""

    def write(self, text):
        return len(text)

    def flush(self):
        pass


@pytest.fixture
def quiet_stderr(monkeypatch):
    monkeypatch.setattr(sys, "stderr", DiscardingWriter())
