"""PyQuarkRegistry, py_list_quarks and PyCKMMatrix."""

import fractions
import inspect
import math

import pytest
from seed import QUARK_NAMES


def test_list_quarks_in_byte_order_fresh_each_call(core):
    first, second = core.py_list_quarks(), core.py_list_quarks()
    assert first == second == QUARK_NAMES
    assert first is not second
    assert all(type(name) is str for name in first)


def test_list_quarks_entry(core):
    assert str(inspect.signature(core.py_list_quarks)) == "()"
    assert core.py_list_quarks.__doc__ == (
        "Accelerated twin of `tessellarch.list_quarks`.\n\n"
        "Returns all SM quark names from the QuarkRegistry."
    )


def test_quark_registry_is_empty_and_false(core):
    cls = core.PyQuarkRegistry
    a, b = cls(), cls()
    assert len(a) == len(b) == 0
    assert not a and a is not b
    assert str(inspect.signature(cls)) == "()"
    assert cls.__doc__ == "Python wrapper for [`QuarkRegistry`]."
    assert cls.__module__ == "builtins"
    with pytest.raises(TypeError, match="not an acceptable base type"):
        type("Sub", (cls,), {})


@pytest.fixture
def matrix(core):
    return core.PyCKMMatrix.from_topology()


class Floaty:
    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value


class Indexy:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


@pytest.mark.parametrize(
    "tol", [0.0, -0.0, 1e-12, 5, True, False, math.inf, Floaty(0.0), Indexy(3), fractions.Fraction(1, 3)]
)
def test_identity_is_unitary_for_non_negative_tol(matrix, tol):
    assert matrix.is_unitary(tol) is True
    assert matrix.is_unitary(tol=tol) is True


@pytest.mark.parametrize("tol", [-1e-300, -1, -1.0, math.nan, -math.inf, Floaty(-1.0), Indexy(-1)])
def test_identity_is_not_unitary_for_negative_or_nan_tol(matrix, tol):
    assert matrix.is_unitary(tol) is False


def test_jarlskog_is_positive_zero(matrix):
    j = matrix.jarlskog()
    assert type(j) is float and j == 0.0 and math.copysign(1.0, j) == 1.0


def test_from_topology_on_class_and_instance_gives_distinct_objects(core, matrix):
    a, b = core.PyCKMMatrix.from_topology(), matrix.from_topology()
    assert type(a) is type(b) is core.PyCKMMatrix
    assert a is not b and b is not matrix
    assert a.jarlskog() == b.jarlskog() and a.is_unitary(0.0) == b.is_unitary(0.0)


def test_ckm_class_shape(core):
    cls = core.PyCKMMatrix
    assert cls.__doc__ == "Python wrapper for [`CKMMatrix`]."
    assert cls.__module__ == "builtins"
    assert [name for name in vars(cls) if not name.startswith("_")] == ["from_topology", "is_unitary", "jarlskog"]
    assert str(inspect.signature(cls.from_topology)) == "()"
    assert cls.from_topology.__doc__ == "Build the CKM matrix from the underlying topology."
    assert str(inspect.signature(cls.is_unitary)) == "(self, /, tol)"
    assert cls.is_unitary.__doc__ == "`True` when the matrix is unitary within `tol`."
    assert str(inspect.signature(cls.jarlskog)) == "(self, /)"
    assert cls.jarlskog.__doc__ == "CP-violation Jarlskog invariant J."
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})


@pytest.mark.native_only
def test_text_signatures(core):
    assert core.py_list_quarks.__text_signature__ == "()"
    assert core.PyQuarkRegistry.__text_signature__ == "()"
    cls = core.PyCKMMatrix
    assert cls.__text_signature__ is None
    assert cls.from_topology.__text_signature__ == "()"
    assert cls.is_unitary.__text_signature__ == "($self, tol)"
    assert cls.jarlskog.__text_signature__ == "($self)"
