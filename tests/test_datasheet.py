"""py_get_constant: the datasheet dict, its JSON text and the order of its checks."""

import inspect
import json
import sys

import pytest
from cores import internal_failure_class
from seed import SHEET_FIELDS, SHEETS

N_GEN_TEXT = '{"name":"n_gen","status":"Seed","uncertainty":null,"units":"count","value":3.0}'

@pytest.mark.parametrize("name", SHEETS)
def test_every_datasheet(core, name):
    sheet = core.py_get_constant(name)
    assert sheet == SHEETS[name]
    assert list(sheet) == SHEET_FIELDS
    assert type(sheet["value"]) is float


def test_keyword_call_and_str_subclass_give_equal_sheets(core):
    class Name(str):
        pass

    assert core.py_get_constant(name="n_gen") == core.py_get_constant(Name("n_gen")) == core.py_get_constant("n_gen")


def test_each_call_returns_a_new_dict(core):
    first, second = core.py_get_constant("phi"), core.py_get_constant("phi")
    assert first == second and first is not second
    first["value"] = 0
    assert core.py_get_constant("phi")["value"] == 1.618033988749895


@pytest.fixture
def replaced_loads(monkeypatch):
    def replace(function):
        monkeypatch.setattr(json, "loads", function)

    return replace


def test_the_text_handed_to_json_loads(core, replaced_loads):
    replaced_loads(lambda text: text)
    assert core.py_get_constant("n_gen") == N_GEN_TEXT
    assert len(N_GEN_TEXT.encode()) == 79


@pytest.mark.parametrize("name", SHEETS)
def test_text_of_every_sheet_round_trips(core, replaced_loads, name):
    replaced_loads(lambda text: text)
    text = core.py_get_constant(name)
    assert json.JSONDecoder().decode(text) == SHEETS[name]
    assert " " not in text.replace("km/s/Mpc", "")  # compact


def test_loads_is_looked_up_on_every_call(core, replaced_loads):
    replaced_loads(lambda text: "first")
    assert core.py_get_constant("b3") == "first"
    replaced_loads(lambda text: "second")
    assert core.py_get_constant("b3") == "second"


class Boom(Exception):
    pass


def raising_loads(text):
    raise Boom(text)


def test_a_raising_loads_reaches_the_caller_unchanged(core, replaced_loads):
    replaced_loads(raising_loads)
    with pytest.raises(Boom) as caught:
        core.py_get_constant("n_gen")
    assert caught.value.args == (N_GEN_TEXT,)


def test_checks_before_parsing_win_over_a_raising_loads(core, replaced_loads):
    replaced_loads(raising_loads)
    with pytest.raises(KeyError):
        core.py_get_constant("missing")
    with pytest.raises(internal_failure_class(core)):
        core.py_get_constant("")
    with pytest.raises(TypeError):
        core.py_get_constant(5)


def test_json_missing_from_sys_modules(core, monkeypatch):
    monkeypatch.setitem(sys.modules, "json", None)
    with pytest.raises(ImportError):
        core.py_get_constant("n_gen")
    # Argument, emptiness and lookup come before the import.
    with pytest.raises(KeyError):
        core.py_get_constant("missing")
    with pytest.raises(BaseException) as caught:
        core.py_get_constant("")
    assert not isinstance(caught.value, Exception)
    with pytest.raises(TypeError):
        core.py_get_constant(b"n_gen")


def test_json_without_loads(core, monkeypatch):
    monkeypatch.delattr(json, "loads")
    with pytest.raises(AttributeError):
        core.py_get_constant("n_gen")


def test_empty_name_is_an_internal_failure_with_a_diagnostic(core, capsys):
    with pytest.raises(BaseException) as caught:
        core.py_get_constant("")
    error = caught.value
    assert type(error).__name__ == "InternalFailure"
    assert error.args == ("py_get_constant: name must be non-empty",)
    err = capsys.readouterr().err
    assert "internal check failed" in err
    if core.__name__ == "tessellarch._orbalin_core":
        assert "pyfacade/" in err  # where the native check failed
    assert err.rstrip("\n").endswith("py_get_constant: name must be non-empty")


def test_internal_failure_class(core):
    cls = internal_failure_class(core)
    assert issubclass(cls, BaseException)
    assert not issubclass(cls, Exception)
    assert cls.__bases__ == (BaseException,)
    assert "InternalFailure" not in vars(core)
    assert cls is internal_failure_class(core)  # created once
    assert "BaseException" in cls.__doc__


def test_function_entry(core):
    assert str(inspect.signature(core.py_get_constant)) == "(name)"
    doc = core.py_get_constant.__doc__
    assert doc.startswith("Accelerated twin of `tessellarch.Get` for the constants branch.\n\n")
    assert doc.endswith(
        "Returns a JSON-serialised dict with `name`, `value`, `units`,\n"
        "`uncertainty`, and `status` fields \u2014 matching the Python constant\n"
        "datasheet schema so callers don't need to branch.\n\n"
        "Raises `PyKeyError` when `name` is not in the registry."
    )


@pytest.mark.native_only
def test_text_signature(core):
    assert core.py_get_constant.__text_signature__ == "(name)"
