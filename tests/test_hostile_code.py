"""Whatever Python code does to the classes, their instances or the module,
the answer is an exception with a clear message: never a crash, an abort or
an instance whose native value was never built.

Attempts that used to kill the interpreter run in a child process, so that a
regression fails one test instead of ending the whole run."""

import copy
import importlib
import pickle
import subprocess
import sys
import textwrap

import pytest
from seed import CONSTANT_COUNT, QUARK_NAMES

from tessellarch import _orbalin_core
from tessellarch._orbalin_core import PyCKMMatrix, PyFormulasRegistry, PyQuarkRegistry

CLASSES = ["PyFormulasRegistry", "PyQuarkRegistry", "PyCKMMatrix"]


def run_child(code):
    """Runs `code` in a fresh interpreter after importing every public name;
    returns its standard output, failing on a non-zero exit."""
    program = "from tessellarch._orbalin_core import *\n" + textwrap.dedent(code)
    child = subprocess.run([sys.executable, "-c", program], capture_output=True, text=True, timeout=120)
    assert child.returncode == 0, f"exit status {child.returncode}\n{child.stdout}\n{child.stderr}"
    return child.stdout


def refused_with_type_error(code):
    """The child's report of one attempt: 'TypeError: <message>' or 'allowed'."""
    return run_child(
        f"""
        try:
            {code}
        except TypeError as error:
            print("TypeError:", error)
        else:
            print("allowed")
        """
    ).strip()


REPLACEMENTS = {
    "__new__": "staticmethod(lambda c: object.__new__(c))",
    "__init__": "lambda self: None",
    "__len__": "lambda self: 0",
    "__doc__": "'replaced'",
    "get": "lambda self, name: 0.0",
    "from_topology": "classmethod(lambda c: None)",
    "is_unitary": "lambda self, tol: True",
    "extra": "1",
}


@pytest.mark.parametrize("cls", CLASSES)
@pytest.mark.parametrize("attribute", sorted(REPLACEMENTS))
def test_no_class_attribute_can_be_set(cls, attribute):
    report = refused_with_type_error(f"{cls}.{attribute} = {REPLACEMENTS[attribute]}")
    assert report.startswith("TypeError:") and "immutable type" in report, report


@pytest.mark.parametrize("cls", CLASSES)
@pytest.mark.parametrize("attribute", ["__new__", "__doc__", "__len__", "get", "is_unitary", "jarlskog"])
def test_no_class_attribute_can_be_deleted(cls, attribute):
    report = run_child(
        f"""
        try:
            del {cls}.{attribute}
        except (TypeError, AttributeError) as error:
            print(type(error).__name__)
        else:
            print("deleted")
        """
    ).strip()
    assert report in {"TypeError", "AttributeError"}


def test_a_refused_new_leaves_the_classes_working():
    # The crash this guards against: an instance made by object.__new__
    # through a replaced __new__ has no registry behind it.
    out = run_child(
        """
        for cls in (PyFormulasRegistry, PyCKMMatrix):
            try:
                cls.__new__ = staticmethod(lambda c: object.__new__(c))
            except TypeError:
                pass
        print(len(PyFormulasRegistry()))
        try:
            PyCKMMatrix()
        except TypeError as error:
            print(error)
        print(PyCKMMatrix.from_topology().is_unitary(0.0))
        """
    )
    assert out.splitlines() == [str(CONSTANT_COUNT), "No constructor defined for PyCKMMatrix", "True"]


@pytest.mark.parametrize(
    "instance, other",
    [("PyQuarkRegistry()", "PyFormulasRegistry"), ("PyFormulasRegistry()", "PyQuarkRegistry"),
     ("PyCKMMatrix.from_topology()", "PyFormulasRegistry"), ("PyFormulasRegistry()", "object")],
)
def test_the_class_of_an_instance_cannot_be_reassigned(instance, other):
    report = refused_with_type_error(f"({instance}).__class__ = {other}")
    assert report.startswith("TypeError:"), report


@pytest.mark.parametrize(
    "call",
    [
        "object.__new__(PyFormulasRegistry)",
        "object.__new__(PyCKMMatrix)",
        "PyFormulasRegistry.__new__(PyQuarkRegistry)",
        "PyQuarkRegistry.__new__(PyFormulasRegistry)",
        "PyFormulasRegistry.__new__(int)",
    ],
)
def test_no_instance_can_be_made_around_the_constructor(call):
    assert refused_with_type_error(call).startswith("TypeError:")


@pytest.mark.parametrize(
    "make", [PyFormulasRegistry, PyQuarkRegistry, PyCKMMatrix.from_topology], ids=["formulas", "quarks", "ckm"]
)
@pytest.mark.parametrize("duplicate", [copy.copy, copy.deepcopy, lambda o: pickle.loads(pickle.dumps(o))],
                         ids=["copy", "deepcopy", "pickle"])
def test_copies_are_refused_or_whole(make, duplicate):
    original = make()
    try:
        duplicated = duplicate(original)
    except (TypeError, pickle.PicklingError):
        return
    # A copy that is made must be a complete instance of its own.
    assert type(duplicated) is type(original) and duplicated is not original
    if isinstance(original, PyFormulasRegistry):
        assert len(duplicated) == CONSTANT_COUNT and duplicated.get("phi") == original.get("phi")
    elif isinstance(original, PyCKMMatrix):
        assert duplicated.is_unitary(0.0) and duplicated.jarlskog() == 0.0


def test_a_reloaded_module_keeps_its_objects():
    before = _orbalin_core.PyFormulasRegistry
    assert importlib.reload(_orbalin_core) is _orbalin_core
    assert _orbalin_core.PyFormulasRegistry is before
    assert len(before()) == CONSTANT_COUNT


def test_module_functions_do_not_depend_on_the_module_namespace():
    out = run_child(
        """
        import tessellarch._orbalin_core as core
        for name in list(core.__all__):
            delattr(core, name)
        core.__all__.clear()
        print(len(py_list_constants()), py_get_constant("phi")["name"], len(py_list_quarks()))
        """
    )
    assert out.split() == [str(CONSTANT_COUNT), "phi", str(len(QUARK_NAMES))]
