"""python -m tessellarch: a report of what the package knows.

Every constant's datasheet as a table, the quark names, and the check of the
CKM matrix, and which core answered; --json prints the same data as one
JSON document.
"""

from __future__ import annotations

import argparse
import errno
import json
import math
import os
import sys
from collections.abc import Sequence
from typing import Any

from tessellarch import __version__, core

UNITARITY_TOLERANCE = 1e-12
COLUMNS = ("name", "status", "value", "units", "uncertainty")


def core_description() -> str:
    """Which core runs: "native core <module>" or "Python core <module>"."""
    kind = "native" if core.__name__ == "tessellarch._orbalin_core" else "Python"
    return f"{kind} core {core.__name__}"


def collect() -> dict[str, Any]:
    """The report's data, from the running core's public functions only."""
    matrix = core.PyCKMMatrix.from_topology()
    return {
        "version": core.__version__,
        "core": core.__name__,
        "constants": [dict(core.py_get_constant(name)) for name in core.py_list_constants()],
        "quarks": core.py_list_quarks(),
        "ckm": {
            "tolerance": UNITARITY_TOLERANCE,
            "unitary": matrix.is_unitary(UNITARITY_TOLERANCE),
            "jarlskog": matrix.jarlskog(),
        },
    }


def cell(value: object) -> str:
    if value is None:
        return "-"
    if isinstance(value, float):
        return repr(value) if math.isfinite(value) else str(value)
    return str(value)


def table(rows: Sequence[dict[str, Any]]) -> list[str]:
    cells = [[cell(row[column]) for column in COLUMNS] for row in rows]
    widths = [max(len(column), *(len(line[i]) for line in cells)) for i, column in enumerate(COLUMNS)]
    numeric = {"value", "uncertainty"}

    def line(values: Sequence[str]) -> str:
        parts = [
            value.rjust(width) if column in numeric else value.ljust(width)
            for value, width, column in zip(values, widths, COLUMNS)
        ]
        return "  ".join(parts).rstrip()

    return [line(COLUMNS), line(["-" * width for width in widths]), *(line(row) for row in cells)]


def render(report: dict[str, Any]) -> str:
    ckm = report["ckm"]
    lines = [
        f"tessellarch {report['version']}: {core_description()}",
        "",
        f"Constants ({len(report['constants'])})",
        *table(report["constants"]),
        "",
        f"Quarks ({len(report['quarks'])}): {', '.join(report['quarks'])}",
        "",
        "CKM matrix (from topology)",
        f"  unitary within {ckm['tolerance']:g}: {'yes' if ckm['unitary'] else 'no'}",
        f"  Jarlskog invariant J: {ckm['jarlskog']!r}",
    ]
    return "\n".join(lines)


def write_report(text: str) -> None:
    stream = sys.stdout
    if stream is None:  # started with standard output closed
        raise OSError(errno.EBADF, "standard output is closed")
    stream.write(text)
    stream.flush()


def silence_stdout() -> None:
    """Points standard output at devnull, so that the interpreter's last
    flush at exit cannot fail a second time and print a traceback."""
    devnull = os.open(os.devnull, os.O_WRONLY)
    try:
        os.dup2(devnull, 1)
    finally:
        os.close(devnull)


def main(argv: Sequence[str] | None = None) -> int:
    parser = argparse.ArgumentParser(prog="python -m tessellarch", description=__doc__.splitlines()[0])
    parser.add_argument("--json", action="store_true", help="print the report as JSON, for scripts")
    parser.add_argument("--version", action="version", version=f"tessellarch {__version__}")
    args = parser.parse_args(argv)
    report = collect()
    text = json.dumps(report, indent=2) if args.json else render(report)
    try:
        write_report(text + "\n")
    except BrokenPipeError:
        # The reader went away (`| head`): nothing more to say to anyone.
        silence_stdout()
        return 1
    except OSError as error:
        # Closed or full: one line, no traceback.
        silence_stdout()
        reason = error.strerror or str(error)
        print(f"python -m tessellarch: cannot write the report: {reason}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
