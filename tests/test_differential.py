"""The two cores side by side: for generated names, tolerances and argument
shapes, and for every row of the calling-rules table, both give the same
result, or the same exception type with the same text. Needs both cores, so
it runs where the native one is installed."""

import inspect
import itertools
import random
import re
import sys

import pytest
from calls import REFUSED_NAMES, REFUSED_TOLERANCES, SURROGATES, TOLERANCES, Calls, LyingName
from cores import CORES
from seed import CONSTANT_NAMES

pytestmark = pytest.mark.skipif(CORES["native"] is None, reason="compares with the native core")

NATIVE, PYTHON_SIDE = CORES["native"], CORES["python"]
RANDOM_SEED = 20261210


def outcome(call, *args, **kwargs):
    """What a call gives: ("value", type, result) or ("raised", type, text).
    Texts the interpreter words name the callable with its module, which
    differs between the cores, and is taken off."""
    try:
        result = call(*args, **kwargs)
    except BaseException as error:  # noqa: BLE001 - every outcome is compared
        text = str(error).replace(NATIVE.__name__ + ".", "").replace(PYTHON_SIDE.__name__ + ".", "")
        return ("raised", type(error).__name__, re.sub(r"\bat 0x[0-9a-f]+", "at 0x", text))
    return ("value", type(result).__name__, result)


def same(native_outcome, python_outcome):
    """Equal outcomes, NaN results included (NaN is not equal to itself)."""
    if native_outcome[:2] != python_outcome[:2]:
        return False
    a, b = native_outcome[2], python_outcome[2]
    return a == b or (a != a and b != b)


def generated_names(count=300):
    """Constant names, near misses and arbitrary text, control characters and
    characters of every UTF-8 length among them."""
    rng = random.Random(RANDOM_SEED)
    alphabet = ["a", "_", "N", " ", "`", "\n", "\0", "\x7f", "\u00e9", "\u4e2d", "\U0001f600", "\\", '"']
    names = list(CONSTANT_NAMES)
    for name in CONSTANT_NAMES:
        names += [name.upper(), name + " ", " " + name, name[:-1], name + "\0", name + "\u0301"]
    for _ in range(count):
        names.append("".join(rng.choice(alphabet) for _ in range(rng.randrange(0, 12))))
    return names


class Float(float):
    pass


class Int(int):
    pass


class Both:
    def __float__(self):
        return 2.0

    def __index__(self):
        return -5


class FloatSubclassResult:
    def __float__(self):
        return Float(0.5)


def generated_tolerances(count=100):
    rng = random.Random(RANDOM_SEED)
    values = [*TOLERANCES, *(value for value, _, _ in REFUSED_TOLERANCES), Float(-0.5), Float(1.0), Int(3),
              Both(), 2**53 + 1, -(2**63), 10**308, 10**309, float("inf"), float("-inf"), 5e-324, -5e-324,
              sys.float_info.max, b"1", "1.0", 1j]
    values += [rng.uniform(-1e-300, 1e-300) for _ in range(count)]
    values += [rng.choice([-1, 1]) * 10.0 ** rng.randrange(-320, 309) for _ in range(count)]
    return values


@pytest.fixture(scope="module")
def pair():
    return Calls(NATIVE), Calls(PYTHON_SIDE)


def compare(native_call, python_call, *args, **kwargs):
    native_outcome = outcome(native_call, *args, **kwargs)
    python_outcome = outcome(python_call, *args, **kwargs)
    assert same(native_outcome, python_outcome), (args, kwargs, native_outcome, python_outcome)


def test_every_generated_name(pair):
    native, python = pair
    for name in [*generated_names(), *SURROGATES, LyingName("phi"), *(value for value, _ in REFUSED_NAMES)]:
        compare(native.core.py_get_constant, python.core.py_get_constant, name)
        compare(native.registry.get, python.registry.get, name)
        compare(native.registry.get, python.registry.get, name=name)


def test_every_generated_tolerance(pair):
    native, python = pair
    for tol in generated_tolerances():
        compare(native.matrix.is_unitary, python.matrix.is_unitary, tol)
        compare(native.matrix.is_unitary, python.matrix.is_unitary, tol=tol)


def argument_shapes():
    """Up to three positional arguments and up to two keywords, each from a
    few values that are accepted or refused in different ways."""
    values = ["b3", "", 5, None, 1e-12]
    keywords = ["name", "tol", "x"]
    for count in range(4):
        for args in itertools.product(values, repeat=count):
            for chosen in itertools.chain.from_iterable(itertools.combinations(keywords, k) for k in range(3)):
                yield args, {keyword: values[len(keyword) % len(values)] for keyword in chosen}


CALLABLES = {
    "py_get_constant": lambda calls: calls.core.py_get_constant,
    "py_list_constants": lambda calls: calls.core.py_list_constants,
    "py_list_quarks": lambda calls: calls.core.py_list_quarks,
    "PyFormulasRegistry": lambda calls: calls.core.PyFormulasRegistry,
    "PyFormulasRegistry.get": lambda calls: calls.registry.get,
    "PyFormulasRegistry.version": lambda calls: calls.core.PyFormulasRegistry.version,
    "PyQuarkRegistry": lambda calls: calls.core.PyQuarkRegistry,
    "PyCKMMatrix": lambda calls: calls.core.PyCKMMatrix,
    "PyCKMMatrix.from_topology": lambda calls: calls.core.PyCKMMatrix.from_topology,
    "PyCKMMatrix.is_unitary": lambda calls: calls.matrix.is_unitary,
    "PyCKMMatrix.jarlskog": lambda calls: calls.matrix.jarlskog,
}


def comparable(value):
    """What a result is compared by: an instance by its class's name, since
    the instances of the two cores are never equal."""
    if type(value).__name__ in ("PyFormulasRegistry", "PyQuarkRegistry", "PyCKMMatrix"):
        return type(value).__name__
    return value


@pytest.mark.usefixtures("quiet_stderr")  # the empty name's diagnostic
@pytest.mark.parametrize("callable_name", sorted(CALLABLES))
def test_every_argument_shape(pair, callable_name):
    native, python = (CALLABLES[callable_name](calls) for calls in pair)
    for args, kwargs in argument_shapes():
        native_outcome = outcome(lambda: comparable(native(*args, **kwargs)))
        python_outcome = outcome(lambda: comparable(python(*args, **kwargs)))
        assert same(native_outcome, python_outcome), (callable_name, args, kwargs, native_outcome, python_outcome)


@pytest.mark.usefixtures("quiet_stderr")
def test_every_row_of_the_calling_rules(pair):
    native, python = pair
    assert [refusal.id for refusal in native.refusals] == [refusal.id for refusal in python.refusals]
    for native_row, python_row in zip(native.refusals, python.refusals):
        native_outcome, python_outcome = outcome(native_row.call), outcome(python_row.call)
        assert same(native_outcome, python_outcome), (native_row.id, native_outcome, python_outcome)


def test_signatures_and_docstrings_agree():
    def described(obj):
        return str(inspect.signature(obj)), obj.__doc__

    for name in NATIVE.__all__[:-1]:
        native_obj, python_obj = getattr(NATIVE, name), getattr(PYTHON_SIDE, name)
        if native_obj is NATIVE.PyCKMMatrix:  # no constructor: the native class has no signature to compare
            assert native_obj.__doc__ == python_obj.__doc__
        else:
            assert described(native_obj) == described(python_obj), name
        if isinstance(native_obj, type):
            members = [member for member in vars(native_obj) if not member.startswith("_")]
            assert members == [member for member in vars(python_obj) if not member.startswith("_")]
            for member in members:
                assert described(getattr(native_obj, member)) == described(getattr(python_obj, member)), member
