"""PyFormulasRegistry and the rules every wrapper class shares."""

import inspect
import weakref

import pytest
from cores import python_side_on_pypy
from seed import CONSTANT_COUNT, VALUES, VERSION


@pytest.fixture
def registry(core):
    return core.PyFormulasRegistry()


@pytest.mark.parametrize("name, value", VALUES.items())
def test_get_returns_the_stored_value_as_float(registry, name, value):
    got = registry.get(name)
    assert type(got) is float and got == value
    assert registry.get(name=name) == value


def test_length_and_truth(core, registry):
    assert len(registry) == CONSTANT_COUNT == len(core.py_list_constants())
    assert registry


def test_version_is_static_and_matches_the_module(core):
    cls = core.PyFormulasRegistry
    assert cls.version() == cls().version() == core.__version__ == VERSION


def test_str_subclass_is_accepted_by_its_bytes(registry):
    class Odd(str):
        def __eq__(self, other):
            return False

        def __hash__(self):
            return 0

        def __str__(self):
            return "b3"

    assert registry.get(Odd("n_gen")) == VALUES["n_gen"]


def test_class_shape(core):
    cls = core.PyFormulasRegistry
    assert cls.__module__ == "builtins"
    assert cls.__name__ == cls.__qualname__ == "PyFormulasRegistry"
    assert cls.__doc__ == "Python wrapper for [`FormulasRegistry`]."
    assert str(inspect.signature(cls)) == "()"
    assert str(inspect.signature(cls.get)) == "(self, /, name)"
    assert str(inspect.signature(cls().get)) == "(name)"
    assert cls.get.__doc__ == "Retrieve the numeric value for `name`."
    assert str(inspect.signature(cls.version)) == "()"
    assert cls.version.__doc__ == "Library-version round-trip helper."
    assert list(vars(cls)).index("get") < list(vars(cls)).index("version")


@pytest.mark.native_only
def test_text_signatures(core):
    cls = core.PyFormulasRegistry
    assert cls.__text_signature__ == "()"
    assert cls.get.__text_signature__ == "($self, name)"
    assert cls.version.__text_signature__ == "()"


def test_instances_take_no_attributes_and_no_weak_references(core, registry):
    with pytest.raises(AttributeError):
        registry.extra = 1
    assert not hasattr(registry, "__dict__")
    if python_side_on_pypy(core):
        return  # PyPy can weakly reference every object, a Python class's included
    with pytest.raises(TypeError):
        weakref.ref(registry)


def test_cannot_be_subclassed(core):
    with pytest.raises(TypeError, match="not an acceptable base type"):
        type("Sub", (core.PyFormulasRegistry,), {})


def test_instances_are_independent(core):
    a, b = core.PyFormulasRegistry(), core.PyFormulasRegistry()
    assert a is not b
    del a
    assert b.get("b3") == 24.0
