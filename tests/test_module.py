"""The module object of each core: namespace, version and the listing of
constants; and which core the package runs."""

import importlib
import inspect
import os
import pathlib
import shutil
import subprocess
import sys

import pytest
from seed import CONSTANT_NAMES, VERSION

import tessellarch

# Every public name, in the order the module adds them.
NAMESPACE_ORDER = [
    "PyFormulasRegistry",
    "PyQuarkRegistry",
    "PyCKMMatrix",
    "py_list_constants",
    "py_list_quarks",
    "py_get_constant",
    "__version__",
]


def test_all_lists_the_public_names_in_namespace_order(core):
    assert core.__all__ == NAMESPACE_ORDER
    assert type(core.__all__) is list
    assert [name for name in vars(core) if name in NAMESPACE_ORDER] == NAMESPACE_ORDER


def test_the_package_re_exports_its_core_under_the_same_names():
    assert tessellarch.__all__ == tessellarch.core.__all__
    assert tessellarch.__all__ is not tessellarch.core.__all__  # a change to one cannot reach the other
    for name in NAMESPACE_ORDER:
        assert getattr(tessellarch, name) is getattr(tessellarch.core, name)


def test_version(core):
    assert core.__version__ == VERSION == "2.3.0"


def test_list_constants_in_byte_order(core):
    names = core.py_list_constants()
    assert names == CONSTANT_NAMES
    assert all(type(name) is str for name in names)


def test_list_constants_returns_a_fresh_list_each_call(core):
    first = core.py_list_constants()
    second = core.py_list_constants()
    assert first is not second
    first.clear()
    assert second == CONSTANT_NAMES
    assert core.py_list_constants() == CONSTANT_NAMES


def test_list_constants_entry(core):
    fn = core.py_list_constants
    assert str(inspect.signature(fn)) == "()"
    assert fn.__doc__ == (
        "Accelerated twin of `tessellarch.list_constants`.\n\n"
        "Returns all known constant names from the FormulasRegistry."
    )
    assert fn.__name__ == "py_list_constants"
    assert fn.__module__ == core.__name__


# --- What only the native module has ----------------------------------------


@pytest.mark.native_only
def test_list_constants_is_a_builtin_bound_to_the_module(core):
    fn = core.py_list_constants
    assert fn.__text_signature__ == "()"
    assert fn.__self__ is core


@pytest.mark.native_only
def test_module_docstring_names_its_import_path(core):
    assert core.__doc__.endswith("Wired as `tessellarch._orbalin_core`.")
    assert len(core.__doc__.split(". ")) == 2


@pytest.mark.native_only
def test_reimport_after_removal_gives_the_very_same_module(core):
    before = list(core.__all__)
    del sys.modules["tessellarch._orbalin_core"]
    try:
        again = importlib.import_module("tessellarch._orbalin_core")
    finally:
        sys.modules["tessellarch._orbalin_core"] = core
    assert again is core
    assert core.__all__ == before  # the body did not run twice


@pytest.mark.native_only
@pytest.mark.skipif(shutil.which("nm") is None, reason="needs binutils' nm")
def test_only_the_init_function_is_exported(core):
    library = pathlib.Path(core.__file__)
    # A sanitizer runtime preloaded into this interpreter is no business of nm's.
    env = {key: value for key, value in os.environ.items() if key != "LD_PRELOAD"}
    out = subprocess.run(
        ["nm", "-D", "--defined-only", str(library)], check=True, capture_output=True, text=True, env=env
    ).stdout
    assert [line.split()[-1] for line in out.splitlines() if line.strip()] == ["PyInit__orbalin_core"]
