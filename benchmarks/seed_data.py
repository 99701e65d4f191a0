"""The native core's built-in data as plain Python tables: the tests' seed
module, so that the twins and the tests read the same rows."""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests"))

from seed import DERIVED, DIRECT, QUARKS  # noqa: E402

from tessellarch import __version__ as VERSION  # noqa: E402 - the twins report the package's version

__all__ = ["DERIVED", "DIRECT", "QUARKS", "VERSION"]
