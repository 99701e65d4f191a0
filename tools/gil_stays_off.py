"""Run on a free-threaded CPython (nox -s freethreading): importing the
module must leave the GIL off, as the module declares it needs none."""

import sys

import tessellarch._orbalin_core  # noqa: F401

print("sys._is_gil_enabled() after import:", sys._is_gil_enabled())
if sys._is_gil_enabled():
    sys.exit("importing the module enabled the GIL")
