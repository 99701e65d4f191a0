"""Shared fixtures. The suite must exercise the installed package, never the
source tree, so importing it from the checkout is a hard error.

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
