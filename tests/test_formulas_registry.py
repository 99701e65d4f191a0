"""PyFormulasRegistry and the rules every wrapper class shares."""

import weakref

import pytest

from tessellarch._orbalin_core import PyFormulasRegistry, py_list_constants

VALUES = {
    "b3": 24.0, "chi_eff": 72.0, "n_gen": 3.0, "roots_total": 288.0, "visible_sector": 125.0,
    "sterile_sector": 163.0, "phi": 1.618033988749895, "gamma_em": 0.5772156649015329,
    "jc_constant": 153.0, "logic_closure": 288.0, "v_higgs_mev": 0.0, "sterile_check": 0.0,
    "n_gen_sq": 0.0, "h0_central": 0.0, "w0_central": 0.0, "m_tau_mev": 0.0, "topo_gen_check": 0.0,
}


@pytest.fixture(scope="module")
def registry():
    return PyFormulasRegistry()


def not_found(name):
    return f"constant `{name}` not found in registry"


@pytest.mark.parametrize("name, value", VALUES.items())
def test_get_returns_the_stored_value_as_float(registry, name, value):
    got = registry.get(name)
    assert type(got) is float and got == value
    assert registry.get(name=name) == value


def test_length_and_truth(registry):
    assert len(registry) == 17 == len(py_list_constants())
    assert registry


def test_version_is_static_and_matches_the_module():
    from tessellarch import _orbalin_core

    assert PyFormulasRegistry.version() == PyFormulasRegistry().version() == _orbalin_core.__version__


@pytest.mark.parametrize(
    "name",
    ["", "N_GEN", "n_gen ", " n_gen", "b3\n", "a`b", "n_gen\0", "\0", "phi\u0301", "\u00e9t\u00e9", "x" * 100_000],
)
def test_missing_names_raise_key_error_with_the_name_verbatim(registry, name):
    with pytest.raises(KeyError) as caught:
        registry.get(name)
    assert caught.value.args == (not_found(name),)
    assert len(registry) == 17


def test_str_subclass_is_accepted_by_its_bytes(registry):
    class Odd(str):
        def __eq__(self, other):
            return False

        def __hash__(self):
            return 0

        def __str__(self):
            return "b3"

    assert registry.get(Odd("n_gen")) == 3.0


def test_lone_surrogate_raises_unicode_encode_error(registry):
    with pytest.raises(UnicodeEncodeError):
        registry.get("\ud800")


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda r: r.get(), "PyFormulasRegistry.get() missing 1 required positional argument: 'name'"),
        (lambda r: r.get("b3", name="b3"), "PyFormulasRegistry.get() got multiple values for argument 'name'"),
        (lambda r: r.get("b3", "n_gen"), "PyFormulasRegistry.get() takes 1 positional arguments but 2 were given"),
        (lambda r: r.get(1, 2, 3), "PyFormulasRegistry.get() takes 1 positional arguments but 3 were given"),
        (lambda r: r.get(nom="b3"), "PyFormulasRegistry.get() got an unexpected keyword argument 'nom'"),
        (lambda r: r.get(**{"name\0": "b3"}), "PyFormulasRegistry.get() got an unexpected keyword argument 'name\0'"),
        (lambda r: r.get(5), "argument 'name': 'int' object cannot be converted to 'PyString'"),
        (lambda r: r.get(b"b3"), "argument 'name': 'bytes' object cannot be converted to 'PyString'"),
        (lambda r: r.get(None), "argument 'name': 'NoneType' object cannot be converted to 'PyString'"),
        (lambda r: PyFormulasRegistry(1), "PyFormulasRegistry.__new__() takes 0 positional arguments but 1 was given"),
        (lambda r: PyFormulasRegistry(1, 2), "PyFormulasRegistry.__new__() takes 0 positional arguments but 2 were given"),
        (lambda r: PyFormulasRegistry(x=1), "PyFormulasRegistry.__new__() got an unexpected keyword argument 'x'"),
        (lambda r: PyFormulasRegistry(1, x=1), "PyFormulasRegistry.__new__() takes 0 positional arguments but 1 was given"),
    ],
)
def test_bad_calls_are_refused_with_exact_messages(registry, call, message):
    with pytest.raises(TypeError) as caught:
        call(registry)
    assert str(caught.value) == message


def test_argument_count_is_checked_before_the_argument_type(registry):
    with pytest.raises(TypeError, match="multiple values"):
        registry.get(5, name=6)


def test_type_error_of_a_nested_qualname_names_it():
    class Outer:
        class Inner:
            pass

    with pytest.raises(TypeError) as caught:
        PyFormulasRegistry().get(Outer.Inner())
    assert str(caught.value).startswith(
        "argument 'name': 'test_type_error_of_a_nested_qualname_names_it.<locals>.Outer.Inner' object"
    )


def test_unbound_call_with_a_foreign_receiver_is_refused():
    # The interpreter's descriptor check answers first; either way nothing runs.
    with pytest.raises(TypeError):
        PyFormulasRegistry.get(5, "b3")


def test_class_shape():
    cls = PyFormulasRegistry
    assert cls.__module__ == "builtins"
    assert cls.__name__ == cls.__qualname__ == "PyFormulasRegistry"
    assert cls.__text_signature__ == "()"
    assert cls.__doc__ == "Python wrapper for [`FormulasRegistry`]."
    assert cls.get.__text_signature__ == "($self, name)"
    assert cls.get.__doc__ == "Retrieve the numeric value for `name`."
    assert cls.version.__text_signature__ == "()"
    assert cls.version.__doc__ == "Library-version round-trip helper."
    assert list(vars(cls)).index("get") < list(vars(cls)).index("version")


def test_instances_take_no_attributes_and_no_weak_references(registry):
    with pytest.raises(AttributeError):
        registry.extra = 1
    with pytest.raises(TypeError):
        weakref.ref(registry)
    assert not hasattr(registry, "__dict__")


def test_cannot_be_subclassed():
    with pytest.raises(TypeError, match="not an acceptable base type"):
        type("Sub", (PyFormulasRegistry,), {})


def test_instances_are_independent():
    a, b = PyFormulasRegistry(), PyFormulasRegistry()
    assert a is not b
    del a
    assert b.get("b3") == 24.0
