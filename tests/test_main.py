"""``python -m tessellarch``, run as a user would run it: once as installed,
once with TESSELLARCH_NO_EXTENSIONS set, so that each core makes the report."""

import json
import os
import subprocess
import sys

import pytest
from seed import CONSTANT_COUNT, QUARK_NAMES


def environment(core):
    """The environment in which `python -m tessellarch` runs `core`."""
    env = {key: value for key, value in os.environ.items() if key != "TESSELLARCH_NO_EXTENSIONS"}
    if core.__name__ != "tessellarch._orbalin_core":
        env["TESSELLARCH_NO_EXTENSIONS"] = "1"
    return env


@pytest.fixture
def run(core):
    def run(*args):
        result = subprocess.run([sys.executable, "-m", "tessellarch", *args], capture_output=True, text=True,
                                check=True, timeout=60, env=environment(core))
        assert result.stderr == ""
        return result.stdout

    return run


def test_report_tables_every_constant_and_the_rest(core, run):
    lines = run().splitlines()
    kind = "native" if core.__name__ == "tessellarch._orbalin_core" else "Python"
    assert lines[0] == f"tessellarch 2.3.0: {kind} core {core.__name__}"
    header = lines.index(f"Constants ({CONSTANT_COUNT})")
    assert lines[header + 1].split() == ["name", "status", "value", "units", "uncertainty"]
    rows = [line.split() for line in lines[header + 3 : header + 3 + CONSTANT_COUNT]]
    assert [row[0] for row in rows] == core.py_list_constants()
    for name, status, value, units, uncertainty in rows:
        sheet = core.py_get_constant(name)
        assert (status, float(value), units, uncertainty) == (sheet["status"], sheet["value"], sheet["units"], "-")
    # Columns are aligned: every row of the table has the header's width or less.
    widths = {len(line) for line in lines[header + 1 : header + 3]}
    assert len(widths) == 1
    assert f"Quarks ({len(QUARK_NAMES)}): {', '.join(QUARK_NAMES)}" in lines
    assert "  unitary within 1e-12: yes" in lines
    assert "  Jarlskog invariant J: 0.0" in lines


def test_json_report_carries_the_same_data(core, run):
    report = json.loads(run("--json"))
    assert report["version"] == "2.3.0"
    assert report["core"] == core.__name__
    assert report["constants"] == [core.py_get_constant(n) for n in core.py_list_constants()]
    assert report["quarks"] == core.py_list_quarks()
    assert report["ckm"] == {"tolerance": 1e-12, "unitary": True, "jarlskog": 0.0}


def test_unknown_option_is_refused(run):
    with pytest.raises(subprocess.CalledProcessError) as caught:
        run("--nope")
    assert caught.value.returncode == 2


def test_help_is_plain_text(run):
    text = run("--help")
    assert "python -m tessellarch: a report of what the package knows." in text
    assert "`" not in text


def test_version_option(core, run):
    assert run("--version") == f"tessellarch {core.__version__}\n"


@pytest.mark.parametrize(
    "stdout, reason",
    [("closed", "standard output is closed"), ("/dev/full", "No space left on device")],
)
@pytest.mark.parametrize("args", [[], ["--json"]], ids=["table", "json"])
def test_an_unwritable_stdout_is_one_line_and_status_1(core, stdout, reason, args):
    command = [sys.executable, "-m", "tessellarch", *args]
    if stdout == "closed":
        # The child starts with descriptor 1 closed, as after `>&-`.
        result = subprocess.run(command, stdout=None, stderr=subprocess.PIPE, text=True, timeout=60,
                                env=environment(core), preexec_fn=lambda: os.close(1))
    else:
        with open(stdout, "w") as full:
            result = subprocess.run(command, stdout=full, stderr=subprocess.PIPE, text=True, timeout=60,
                                    env=environment(core))
    assert result.returncode == 1
    assert result.stderr == f"python -m tessellarch: cannot write the report: {reason}\n"
