"""Shared fixtures. The suite must exercise the installed package, never the
source tree, so importing it from the checkout is a hard error."""

import pathlib

import pytest

import tessellarch
from tessellarch import _orbalin_core

SOURCE_PACKAGE = pathlib.Path(__file__).resolve().parent.parent / "python" / "tessellarch"


def pytest_configure(config):
    package_dir = pathlib.Path(tessellarch.__file__).resolve().parent
    if package_dir == SOURCE_PACKAGE:
        raise pytest.UsageError(
            f"tessellarch was imported from the source tree ({package_dir}); "
            "run the tests from outside it against the installed package"
        )


@pytest.fixture
def core():
    return _orbalin_core
