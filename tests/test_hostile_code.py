"""Whatever Python code does to the classes, their instances or the module,
the answer is an exception with a clear message: never a crash, an abort or
an instance whose native value was never built.

The native classes are immutable types, so most of this is theirs alone: the
Python side's classes are ordinary Python classes, which Python code may
change as it may change any other.

Attempts that used to kill the interpreter run in a child process, so that a
regression fails one test instead of ending the whole run."""

import copy
import importlib
import pickle
import subprocess
import sys
import textwrap

import pytest
from cores import python_side_on_pypy
from seed import CONSTANT_COUNT, QUARK_NAMES

CLASSES = ["PyFormulasRegistry", "PyQuarkRegistry", "PyCKMMatrix"]


def run_child(code, core_name="tessellarch._orbalin_core"):
    """Runs `code` in a fresh interpreter after importing every public name
    of the core; returns its standard output, failing on a non-zero exit."""
    program = f"from {core_name} import *\n" + textwrap.dedent(code)
    child = subprocess.run([sys.executable, "-c", program], capture_output=True, text=True, timeout=120)
    assert child.returncode == 0, f"exit status {child.returncode}\n{child.stdout}\n{child.stderr}"
    return child.stdout


def refused_with_type_error(code, core_name="tessellarch._orbalin_core"):
    """The child's report of one attempt: 'TypeError: <message>' or 'allowed'."""
    return run_child(
        f"""
        try:
            {code}
        except TypeError as error:
            print("TypeError:", error)
        else:
            print("allowed")
        """,
        core_name,
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


@pytest.mark.native_only
@pytest.mark.parametrize("cls", CLASSES)
@pytest.mark.parametrize("attribute", sorted(REPLACEMENTS))
def test_no_class_attribute_can_be_set(cls, attribute):
    report = refused_with_type_error(f"{cls}.{attribute} = {REPLACEMENTS[attribute]}")
    assert report.startswith("TypeError:") and "immutable type" in report, report


@pytest.mark.native_only
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


@pytest.mark.native_only
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
def test_the_class_of_an_instance_cannot_be_reassigned(core, instance, other):
    if python_side_on_pypy(core):
        pytest.skip("PyPy lets a Python class's instance change to a class of the same slots")
    report = refused_with_type_error(f"({instance}).__class__ = {other}", core.__name__)
    assert report.startswith("TypeError:"), report


@pytest.mark.native_only
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


MAKERS = {
    "formulas": lambda core: core.PyFormulasRegistry(),
    "quarks": lambda core: core.PyQuarkRegistry(),
    "ckm": lambda core: core.PyCKMMatrix.from_topology(),
}


@pytest.mark.parametrize("make", sorted(MAKERS))
@pytest.mark.parametrize("duplicate", [copy.copy, copy.deepcopy, lambda o: pickle.loads(pickle.dumps(o))],
                         ids=["copy", "deepcopy", "pickle"])
def test_copies_are_refused_or_whole(core, make, duplicate):
    original = MAKERS[make](core)
    try:
        duplicated = duplicate(original)
    except (TypeError, pickle.PicklingError):
        return
    # A copy that is made must be a complete instance of its own.
    assert type(duplicated) is type(original) and duplicated is not original
    if isinstance(original, core.PyFormulasRegistry):
        assert len(duplicated) == CONSTANT_COUNT and duplicated.get("phi") == original.get("phi")
    elif isinstance(original, core.PyCKMMatrix):
        assert duplicated.is_unitary(0.0) and duplicated.jarlskog() == 0.0


@pytest.mark.native_only
def test_a_reloaded_module_keeps_its_objects(core):
    before = core.PyFormulasRegistry
    assert importlib.reload(core) is core
    assert core.PyFormulasRegistry is before
    assert len(before()) == CONSTANT_COUNT


@pytest.mark.native_only
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
