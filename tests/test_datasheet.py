"""py_get_constant: the datasheet dict, its JSON text and the order of its checks."""

import json
import sys

import pytest

from tessellarch import _orbalin_core
from tessellarch._orbalin_core import py_get_constant

# (status, units, value) of every constant; no seed has an uncertainty.
SHEETS = {
    "b3": ("Seed", "dimensionless", 24.0),
    "chi_eff": ("Seed", "dimensionless", 72.0),
    "gamma_em": ("Seed", "dimensionless", 0.5772156649015329),
    "h0_central": ("Pending", "km/s/Mpc", 0.0),
    "jc_constant": ("Seed", "count", 153.0),
    "logic_closure": ("Seed", "count", 288.0),
    "m_tau_mev": ("Pending", "MeV", 0.0),
    "n_gen": ("Seed", "count", 3.0),
    "n_gen_sq": ("Pending", "count", 0.0),
    "phi": ("Seed", "dimensionless", 1.618033988749895),
    "roots_total": ("Seed", "count", 288.0),
    "sterile_check": ("Pending", "count", 0.0),
    "sterile_sector": ("Seed", "count", 163.0),
    "topo_gen_check": ("Pending", "count", 0.0),
    "v_higgs_mev": ("Pending", "MeV", 0.0),
    "visible_sector": ("Seed", "count", 125.0),
    "w0_central": ("Pending", "dimensionless", 0.0),
}

N_GEN_TEXT = '{"name":"n_gen","status":"Seed","uncertainty":null,"units":"count","value":3.0}'

def internal_failure_class():
    """The class is not a module attribute; the empty name brings one out."""
    try:
        py_get_constant("")
    except BaseException as error:  # noqa: BLE001 - that is the point
        return type(error)
    raise AssertionError("py_get_constant('') did not fail")


@pytest.mark.parametrize("name", SHEETS)
def test_every_datasheet(name):
    status, units, value = SHEETS[name]
    sheet = py_get_constant(name)
    assert sheet == {"name": name, "status": status, "uncertainty": None, "units": units, "value": value}
    assert list(sheet) == ["name", "status", "uncertainty", "units", "value"]
    assert type(sheet["value"]) is float


def test_keyword_call_and_str_subclass_give_equal_sheets():
    class Name(str):
        pass

    assert py_get_constant(name="n_gen") == py_get_constant(Name("n_gen")) == py_get_constant("n_gen")


def test_each_call_returns_a_new_dict():
    first, second = py_get_constant("phi"), py_get_constant("phi")
    assert first == second and first is not second
    first["value"] = 0
    assert py_get_constant("phi")["value"] == 1.618033988749895


@pytest.fixture
def replaced_loads(monkeypatch):
    def replace(function):
        monkeypatch.setattr(json, "loads", function)

    return replace


def test_the_text_handed_to_json_loads(replaced_loads):
    replaced_loads(lambda text: text)
    assert py_get_constant("n_gen") == N_GEN_TEXT
    assert len(N_GEN_TEXT.encode()) == 79


@pytest.mark.parametrize("name", SHEETS)
def test_text_of_every_sheet_round_trips(replaced_loads, name):
    replaced_loads(lambda text: text)
    text = py_get_constant(name)
    assert json.JSONDecoder().decode(text) == dict(zip(
        ["name", "status", "uncertainty", "units", "value"],
        [name, SHEETS[name][0], None, SHEETS[name][1], SHEETS[name][2]],
    ))
    assert " " not in text.replace("km/s/Mpc", "")  # compact


def test_loads_is_looked_up_on_every_call(replaced_loads):
    replaced_loads(lambda text: "first")
    assert py_get_constant("b3") == "first"
    replaced_loads(lambda text: "second")
    assert py_get_constant("b3") == "second"


class Boom(Exception):
    pass


def raising_loads(text):
    raise Boom(text)


def test_a_raising_loads_reaches_the_caller_unchanged(replaced_loads):
    replaced_loads(raising_loads)
    with pytest.raises(Boom) as caught:
        py_get_constant("n_gen")
    assert caught.value.args == (N_GEN_TEXT,)


def test_checks_before_parsing_win_over_a_raising_loads(replaced_loads):
    replaced_loads(raising_loads)
    with pytest.raises(KeyError):
        py_get_constant("missing")
    with pytest.raises(internal_failure_class()):
        py_get_constant("")
    with pytest.raises(TypeError):
        py_get_constant(5)


def test_json_missing_from_sys_modules(monkeypatch):
    monkeypatch.setitem(sys.modules, "json", None)
    with pytest.raises(ImportError):
        py_get_constant("n_gen")
    # Argument, emptiness and lookup come before the import.
    with pytest.raises(KeyError):
        py_get_constant("missing")
    with pytest.raises(BaseException) as caught:
        py_get_constant("")
    assert not isinstance(caught.value, Exception)
    with pytest.raises(TypeError):
        py_get_constant(b"n_gen")


def test_json_without_loads(monkeypatch):
    monkeypatch.delattr(json, "loads")
    with pytest.raises(AttributeError):
        py_get_constant("n_gen")


def test_empty_name_is_an_internal_failure_with_a_diagnostic(capsys):
    with pytest.raises(BaseException) as caught:
        py_get_constant("")
    error = caught.value
    assert type(error).__name__ == "InternalFailure"
    assert error.args == ("py_get_constant: name must be non-empty",)
    err = capsys.readouterr().err
    assert "internal check failed" in err
    assert "pyfacade/" in err
    assert err.rstrip("\n").endswith("py_get_constant: name must be non-empty")


def test_internal_failure_class():
    cls = internal_failure_class()
    assert issubclass(cls, BaseException)
    assert not issubclass(cls, Exception)
    assert cls.__bases__ == (BaseException,)
    assert "InternalFailure" not in vars(_orbalin_core)
    assert cls is internal_failure_class()  # created once
    assert "BaseException" in cls.__doc__


@pytest.mark.parametrize(
    "name", ["N_GEN", " n_gen", "n_gen ", "a`b", "line\nbreak", "nul\0byte", "\u00e9\u4e2d\U0001f600"]
)
def test_unknown_names_reach_the_key_error_byte_for_byte(name):
    with pytest.raises(KeyError) as caught:
        py_get_constant(name)
    assert caught.value.args == (f"constant `{name}` not found in registry",)


def test_lone_surrogate_raises_unicode_encode_error():
    with pytest.raises(UnicodeEncodeError):
        py_get_constant("\udc80")


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: py_get_constant(), "py_get_constant() missing 1 required positional argument: 'name'"),
        (lambda: py_get_constant("a", "b"), "py_get_constant() takes 1 positional arguments but 2 were given"),
        (lambda: py_get_constant("a", name="b"), "py_get_constant() got multiple values for argument 'name'"),
        (lambda: py_get_constant(key="b"), "py_get_constant() got an unexpected keyword argument 'key'"),
        (lambda: py_get_constant(5), "argument 'name': 'int' object cannot be converted to 'PyString'"),
        (lambda: py_get_constant(["n_gen"]), "argument 'name': 'list' object cannot be converted to 'PyString'"),
    ],
)
def test_refusals(call, message):
    with pytest.raises(TypeError) as caught:
        call()
    assert str(caught.value) == message


def test_function_entry():
    assert py_get_constant.__text_signature__ == "(name)"
    doc = py_get_constant.__doc__
    assert doc.startswith("Accelerated twin of `tessellarch.Get` for the constants branch.\n\n")
    assert doc.endswith(
        "Returns a JSON-serialised dict with `name`, `value`, `units`,\n"
        "`uncertainty`, and `status` fields \u2014 matching the Python constant\n"
        "datasheet schema so callers don't need to branch.\n\n"
        "Raises `PyKeyError` when `name` is not in the registry."
    )
