"""The module object: import, namespace, version and the listing of constants."""

import importlib
import os
import pathlib
import shutil
import subprocess
import sys

import pytest
from seed import CONSTANT_NAMES

from tessellarch import _orbalin_core

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


def test_all_lists_the_public_names_in_namespace_order():
    assert _orbalin_core.__all__ == NAMESPACE_ORDER
    assert type(_orbalin_core.__all__) is list
    assert [name for name in vars(_orbalin_core) if name in NAMESPACE_ORDER] == NAMESPACE_ORDER


def test_the_package_re_exports_the_core_under_the_same_names():
    import tessellarch

    assert tessellarch.__all__ == _orbalin_core.__all__
    assert tessellarch.__all__ is not _orbalin_core.__all__  # a change to one cannot reach the other
    for name in NAMESPACE_ORDER:
        assert getattr(tessellarch, name) is getattr(_orbalin_core, name)


def test_version():
    assert _orbalin_core.__version__ == "2.3.0"


def test_module_docstring_names_its_import_path():
    assert _orbalin_core.__doc__.endswith("Wired as `tessellarch._orbalin_core`.")
    assert len(_orbalin_core.__doc__.split(". ")) == 2


def test_reimport_after_removal_gives_the_very_same_module():
    before = list(_orbalin_core.__all__)
    del sys.modules["tessellarch._orbalin_core"]
    try:
        again = importlib.import_module("tessellarch._orbalin_core")
    finally:
        sys.modules["tessellarch._orbalin_core"] = _orbalin_core
    assert again is _orbalin_core
    assert _orbalin_core.__all__ == before  # the body did not run twice


def test_list_constants_in_byte_order():
    names = _orbalin_core.py_list_constants()
    assert names == CONSTANT_NAMES
    assert all(type(name) is str for name in names)


def test_list_constants_returns_a_fresh_list_each_call():
    first = _orbalin_core.py_list_constants()
    second = _orbalin_core.py_list_constants()
    assert first is not second
    first.clear()
    assert second == CONSTANT_NAMES
    assert _orbalin_core.py_list_constants() == CONSTANT_NAMES


def test_list_constants_is_a_builtin_bound_to_the_module():
    fn = _orbalin_core.py_list_constants
    assert fn.__text_signature__ == "()"
    assert fn.__doc__ == (
        "Accelerated twin of `tessellarch.list_constants`.\n\n"
        "Returns all known constant names from the FormulasRegistry."
    )
    assert fn.__self__ is _orbalin_core
    assert fn.__module__ == _orbalin_core.__name__
    assert fn.__name__ == "py_list_constants"


@pytest.mark.skipif(shutil.which("nm") is None, reason="needs binutils' nm")
def test_only_the_init_function_is_exported():
    library = pathlib.Path(_orbalin_core.__file__)
    # A sanitizer runtime preloaded into this interpreter is no business of nm's.
    env = {key: value for key, value in os.environ.items() if key != "LD_PRELOAD"}
    out = subprocess.run(
        ["nm", "-D", "--defined-only", str(library)], check=True, capture_output=True, text=True, env=env
    ).stdout
    assert [line.split()[-1] for line in out.splitlines() if line.strip()] == ["PyInit__orbalin_core"]
