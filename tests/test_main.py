"""``python -m tessellarch``, run as a user would run it."""

import json
import os
import subprocess
import sys

import pytest
from seed import CONSTANT_COUNT, QUARK_NAMES

from tessellarch import _orbalin_core


def run(*args):
    result = subprocess.run(
        [sys.executable, "-m", "tessellarch", *args], capture_output=True, text=True, check=True, timeout=60
    )
    assert result.stderr == ""
    return result.stdout


def test_report_tables_every_constant_and_the_rest():
    lines = run().splitlines()
    assert lines[0] == "tessellarch 2.3.0: native core tessellarch._orbalin_core"
    header = lines.index(f"Constants ({CONSTANT_COUNT})")
    assert lines[header + 1].split() == ["name", "status", "value", "units", "uncertainty"]
    rows = [line.split() for line in lines[header + 3 : header + 3 + CONSTANT_COUNT]]
    assert [row[0] for row in rows] == _orbalin_core.py_list_constants()
    for name, status, value, units, uncertainty in rows:
        sheet = _orbalin_core.py_get_constant(name)
        assert (status, float(value), units, uncertainty) == (sheet["status"], sheet["value"], sheet["units"], "-")
    # Columns are aligned: every row of the table has the header's width or less.
    widths = {len(line) for line in lines[header + 1 : header + 3]}
    assert len(widths) == 1
    assert f"Quarks ({len(QUARK_NAMES)}): {', '.join(QUARK_NAMES)}" in lines
    assert "  unitary within 1e-12: yes" in lines
    assert "  Jarlskog invariant J: 0.0" in lines


def test_json_report_carries_the_same_data():
    report = json.loads(run("--json"))
    assert report["version"] == "2.3.0"
    assert report["constants"] == [_orbalin_core.py_get_constant(n) for n in _orbalin_core.py_list_constants()]
    assert report["quarks"] == _orbalin_core.py_list_quarks()
    assert report["ckm"] == {"tolerance": 1e-12, "unitary": True, "jarlskog": 0.0}


def test_unknown_option_is_refused():
    with pytest.raises(subprocess.CalledProcessError) as caught:
        run("--nope")
    assert caught.value.returncode == 2


def test_help_is_plain_text():
    text = run("--help")
    assert "python -m tessellarch: a report of what the native core knows." in text
    assert "`" not in text


def test_version_option():
    assert run("--version") == f"tessellarch {_orbalin_core.__version__}\n"


@pytest.mark.parametrize(
    "stdout, reason",
    [("closed", "standard output is closed"), ("/dev/full", "No space left on device")],
)
@pytest.mark.parametrize("args", [[], ["--json"]], ids=["table", "json"])
def test_an_unwritable_stdout_is_one_line_and_status_1(stdout, reason, args):
    command = [sys.executable, "-m", "tessellarch", *args]
    if stdout == "closed":
        # The child starts with descriptor 1 closed, as after `>&-`.
        result = subprocess.run(command, stdout=None, stderr=subprocess.PIPE, text=True, timeout=60,
                                preexec_fn=lambda: os.close(1))
    else:
        with open(stdout, "w") as full:
            result = subprocess.run(command, stdout=full, stderr=subprocess.PIPE, text=True, timeout=60)
    assert result.returncode == 1
    assert result.stderr == f"python -m tessellarch: cannot write the report: {reason}\n"
