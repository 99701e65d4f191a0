"""Which core `import tessellarch` runs: the native one where it is installed,
the Python side where it is absent, refuses the interpreter, or is switched
off; any other failure to load the native core is raised. Each case runs in
a fresh interpreter, whose first import of the package is the one tested."""

import os
import subprocess
import sys
import textwrap

import pytest
from cores import CORES

NATIVE = "tessellarch._orbalin_core"
PYTHON_SIDE = "tessellarch._pyorbalin_core"


def core_chosen(prelude="", **environ):
    """The core a fresh interpreter's `import tessellarch` runs, or the
    exception the import raised, as 'ExceptionType: text'."""
    program = textwrap.dedent(prelude) + textwrap.dedent(
        """
        try:
            import tessellarch
        except BaseException as error:
            print(f"{type(error).__name__}: {error}")
        else:
            assert tessellarch.py_list_quarks is tessellarch.core.py_list_quarks
            print(tessellarch.core.__name__)
        """
    )
    env = {key: value for key, value in os.environ.items() if key != "TESSELLARCH_NO_EXTENSIONS"}
    child = subprocess.run([sys.executable, "-c", program], capture_output=True, text=True, timeout=60,
                           env={**env, **environ})
    assert child.returncode == 0, child.stderr
    return child.stdout.strip()


def test_the_native_core_runs_where_it_is_installed():
    assert core_chosen() == (NATIVE if CORES["native"] is not None else PYTHON_SIDE)


@pytest.mark.parametrize("value, expected", [("1", PYTHON_SIDE), ("yes", PYTHON_SIDE), ("0", PYTHON_SIDE),
                                             ("", None)])
def test_a_non_empty_switch_forces_the_python_side(value, expected):
    default = NATIVE if CORES["native"] is not None else PYTHON_SIDE
    assert core_chosen(TESSELLARCH_NO_EXTENSIONS=value) == (expected or default)


def test_an_absent_native_core_gives_the_python_side():
    assert core_chosen("import sys\nsys.modules['tessellarch._orbalin_core'] = None\n") == PYTHON_SIDE


# A finder that answers for the native core with a module whose loading
# fails as a broken build's would.
BROKEN_NATIVE_CORE = """
import importlib.abc, importlib.util, sys

class Broken(importlib.abc.MetaPathFinder, importlib.abc.Loader):
    def __init__(self, error):
        self.error = error
    def find_spec(self, name, path, target=None):
        if name == "tessellarch._orbalin_core":
            return importlib.util.spec_from_loader(name, self)
        return None
    def create_module(self, module_spec):
        raise self.error
    def exec_module(self, module):
        pass

sys.meta_path.insert(0, Broken({error}))
"""


@pytest.mark.parametrize("error, shown", [
    ('ImportError("_orbalin_core.so: undefined symbol: PyType_FromMetaclass")',
     "ImportError: _orbalin_core.so: undefined symbol: PyType_FromMetaclass"),
    ('ModuleNotFoundError("No module named \'libc_extra\'", name="libc_extra")',
     "ModuleNotFoundError: No module named 'libc_extra'"),
    ('ImportError("tessellarch._orbalin_core does not support this processor")',
     "ImportError: tessellarch._orbalin_core does not support this processor"),
])
def test_any_other_failure_to_load_the_native_core_is_raised(error, shown):
    assert core_chosen(BROKEN_NATIVE_CORE.format(error=error)) == shown


def test_the_native_module_stays_native_under_the_switch():
    if CORES["native"] is None:
        pytest.skip("the native core is not installed")
    prelude = ("import importlib.machinery, tessellarch._orbalin_core as native\n"
               "print(native.__file__.endswith(tuple(importlib.machinery.EXTENSION_SUFFIXES)))\n")
    assert core_chosen(prelude, TESSELLARCH_NO_EXTENSIONS="1").splitlines() == ["True", PYTHON_SIDE]
