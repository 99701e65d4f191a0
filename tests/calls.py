"""Every Python-visible callable of a core, and every call the calling rules
refuse, as data: `Calls(core)` makes the table for one core. test_calling_rules.py
checks each refusal's error and message on both cores, the differential test
compares the two cores row by row, and the leak tests repeat every accepted
call and every refusal through `every_call`, so a callable or a rule added
here is checked every way."""

import json
import re
import sys
from collections.abc import Callable
from dataclasses import dataclass

from cores import internal_failure_class
from seed import CONSTANT_NAMES


def shown(value):
    """A short, stable spelling of an argument for a test id."""
    if value is None or type(value) in (int, float, list) or (type(value) in (str, bytes) and len(value) <= 16):
        return repr(value)
    if type(value) in (str, bytes):
        return f"{value[:4]!r}*{len(value)}"
    return f"{type(value).__name__}()"


@dataclass(frozen=True)
class Refusal:
    rule: str
    title: str  # the callable, as its messages name it
    args: tuple
    kwargs: dict
    error: type
    # The exact message (the exception's only argument), a pattern its text
    # must match, or None where the text is the interpreter's, not the module's.
    message: str | re.Pattern | None
    target: Callable

    def call(self):
        return self.target(*self.args, **self.kwargs)

    @property
    def id(self):
        arguments = [shown(a) for a in self.args] + [f"{k}={shown(v)}" for k, v in self.kwargs.items()]
        return f"{self.rule}: {self.title}({', '.join(arguments)})"

    def expect(self):
        try:
            self.call()
        except self.error:
            return
        raise AssertionError(f"{self.id} did not raise {self.error.__name__}")


def nested_class():
    class Outer:
        class Inner:
            pass

    return Outer.Inner


class QualnameLiar(type):
    """A metaclass that answers `__qualname__` with a list."""

    def __getattribute__(cls, name):
        if name == "__qualname__":
            return ["not", "a", "str"]
        return super().__getattribute__(name)


class Odd(metaclass=QualnameLiar):
    pass


class WrongFloat:
    def __float__(self):
        return "not a float"


class RaisingFloat:
    def __float__(self):
        raise ZeroDivisionError("no")


# Values a name parameter refuses, with the type name its message gives:
# the qualified name, or the type's own name when the qualified one is no str.
REFUSED_NAMES = [
    (5, "int"),
    (1.5, "float"),
    (b"b3", "bytes"),
    (None, "NoneType"),
    (["n_gen"], "list"),
    (object(), "object"),
    (nested_class()(), "nested_class.<locals>.Outer.Inner"),
    (Odd(), "Odd"),
]
SURROGATES = ["\ud800", "\udc80", "ok\udfff"]
# Values the tolerance refuses, with the error and message that reach the caller.
REFUSED_TOLERANCES = [
    ("x", TypeError, "argument 'tol': must be real number, not str"),
    (None, TypeError, "argument 'tol': must be real number, not NoneType"),
    ([], TypeError, "argument 'tol': must be real number, not list"),
    (object(), TypeError, "argument 'tol': must be real number, not object"),
    (WrongFloat(), TypeError, re.compile("argument 'tol': ")),  # the rest is the interpreter's
    (RaisingFloat(), ZeroDivisionError, "no"),  # not a TypeError: passes unchanged
    (10**400, OverflowError, None),
]


class LyingName(str):
    """A str subclass whose Python-level behaviour lies; only its bytes count."""

    def __eq__(self, other):
        return True

    def __hash__(self):
        return 1

    def __str__(self):
        return "b3"


class Real:
    def __float__(self):
        return 0.5


class Index:
    def __index__(self):
        return 1


TOLERANCES = [0.0, -0.0, 1, True, Real(), Index(), float("nan"), -1]



# Names no constant has; each reaches the KeyError byte for byte.
MISSING_NAMES = [
    "N_GEN", "PHI", " n_gen", "n_gen ", "b3\n", "line\nbreak", "a`b", "n_gen\0", "phi\0", "nul\0byte", "\0",
    "phi\u0301", "\u00e9t\u00e9", "\u03c6", "\u00e9\u4e2d\U0001f600", "x" * 100_000, "a" * 100_000,
]


class Calls:
    """The table of one core: its instances, every refusal, every accepted call."""

    def __init__(self, core):
        self.core = core
        self.registry = core.PyFormulasRegistry()
        self.quark_registry = core.PyQuarkRegistry()
        self.matrix = core.PyCKMMatrix.from_topology()
        self.refusals = [
            *self.argument_matching(),
            *self.no_argument_refusals(),
            *self.conversion_refusals(),
            *self.receiver_refusals(),
            *self.registry_errors(),
        ]

    # The callables that take one argument: the name their messages give them,
    # the parameter, the callable with its receiver bound, an accepted argument.
    def one_argument(self):
        return [
            ("py_get_constant", "name", self.core.py_get_constant, "b3"),
            ("PyFormulasRegistry.get", "name", self.registry.get, "b3"),
            ("PyCKMMatrix.is_unitary", "tol", self.matrix.is_unitary, 1e-12),
        ]

    def name_takers(self):
        return [(title, call) for title, parameter, call, _ in self.one_argument() if parameter == "name"]

    # The callables that take nothing, each refusing any argument the same way.
    def no_argument(self):
        core = self.core
        return [
            ("py_list_constants", core.py_list_constants),
            ("py_list_quarks", core.py_list_quarks),
            ("PyCKMMatrix.jarlskog", self.matrix.jarlskog),
            ("PyCKMMatrix.from_topology", core.PyCKMMatrix.from_topology),
            ("PyFormulasRegistry.version", core.PyFormulasRegistry.version),
        ]

    def argument_matching(self):
        for title, parameter, call, good in self.one_argument():
            def row(args, kwargs, message):
                return Refusal("matching", title, args, kwargs, TypeError, f"{title}() {message}", call)

            yield row((), {}, f"missing 1 required positional argument: '{parameter}'")
            for count in (2, 3):
                yield row((good,) * count, {}, f"takes 1 positional arguments but {count} were given")
            yield row((good,), {parameter: good}, f"got multiple values for argument '{parameter}'")
            # Matching comes first: a duplicate is named even when neither value would convert.
            yield row((None,), {parameter: None}, f"got multiple values for argument '{parameter}'")
            # The parameter's own name cut short, run on, or followed by a NUL is a stranger too.
            for keyword in ("key", "nom", "tolerance", parameter[:-1], parameter + "\0"):
                yield row((), {keyword: good}, f"got an unexpected keyword argument '{keyword}'")
        for cls in (self.core.PyFormulasRegistry, self.core.PyQuarkRegistry):
            def row(args, kwargs, message):
                return Refusal("matching", cls.__name__, args, kwargs, TypeError,
                               f"{cls.__name__}.__new__() {message}", cls)

            yield row((1,), {}, "takes 0 positional arguments but 1 was given")
            yield row((1, 2), {}, "takes 0 positional arguments but 2 were given")
            yield row((), {"x": 1}, "got an unexpected keyword argument 'x'")
            yield row((1,), {"x": 1}, "takes 0 positional arguments but 1 was given")
        for args, kwargs in [((), {}), ((1,), {}), ((), {"x": 1}), ((1,), {"x": 2})]:
            yield Refusal("matching", "PyCKMMatrix", args, kwargs, TypeError,
                          "No constructor defined for PyCKMMatrix", self.core.PyCKMMatrix)

    def no_argument_refusals(self):
        for title, call in self.no_argument():
            # The interpreter words these (and qualifies the name differently across versions).
            message = re.compile(rf"(\w+\.)*{re.escape(title)}\(\) takes no (keyword )?arguments")
            for args, kwargs in [((1,), {}), ((None,), {}), ((), {"x": 1}), ((1, 2), {"y": 3})]:
                yield Refusal("no argument", title, args, kwargs, TypeError, message, call)

    def conversion_refusals(self):
        for title, call in self.name_takers():
            for value, type_name in REFUSED_NAMES:
                message = f"argument 'name': '{type_name}' object cannot be converted to 'PyString'"
                yield Refusal("conversion", title, (value,), {}, TypeError, message, call)
                yield Refusal("conversion", title, (), {"name": value}, TypeError, message, call)
            for value in SURROGATES:
                yield Refusal("conversion", title, (value,), {}, UnicodeEncodeError, None, call)
                yield Refusal("conversion", title, (), {"name": value}, UnicodeEncodeError, None, call)
        for value, error, message in REFUSED_TOLERANCES:
            yield Refusal("conversion", "PyCKMMatrix.is_unitary", (value,), {}, error, message,
                          self.matrix.is_unitary)

    def receiver_refusals(self):
        # Only an unbound call can bring a foreign receiver; the interpreter's
        # descriptor check answers first, so the wording is not the module's.
        core = self.core
        for method, args in [
            (core.PyFormulasRegistry.get, (5, "b3")),
            (core.PyFormulasRegistry.get, (self.quark_registry, "b3")),
            (core.PyCKMMatrix.is_unitary, (self.registry, 0.0)),
            (core.PyCKMMatrix.jarlskog, (self.quark_registry,)),
            (core.PyFormulasRegistry.__len__, (self.quark_registry,)),
            (core.PyQuarkRegistry.__len__, (self.registry,)),
        ]:
            yield Refusal("receiver", method.__qualname__, args, {}, TypeError, None, method)

    def registry_errors(self):
        for title, call in self.name_takers():
            for name in MISSING_NAMES + ([""] if title == "PyFormulasRegistry.get" else []):
                yield Refusal("registry error", title, (name,), {}, KeyError,
                              f"constant `{name}` not found in registry", call)
        # The empty name never reaches the datasheet's lookup: a failed internal check.
        yield Refusal("internal failure", "py_get_constant", ("",), {}, internal_failure_class(self.core),
                      "py_get_constant: name must be non-empty", self.core.py_get_constant)

    def accepted_calls(self):
        core = self.core
        core.py_list_constants()
        core.py_list_quarks()
        len(self.registry)
        len(core.PyQuarkRegistry())
        len(core.PyFormulasRegistry())
        core.PyFormulasRegistry.version()
        self.registry.version()
        core.PyCKMMatrix.from_topology().jarlskog()
        for name in [*CONSTANT_NAMES, LyingName("v_higgs_mev")]:
            self.registry.get(name)
            self.registry.get(name=name)
            core.py_get_constant(name)
        for tol in TOLERANCES:
            self.matrix.is_unitary(tol)
            self.matrix.is_unitary(tol=tol)

    def json_failures(self):
        """py_get_constant with a json.loads that raises, then with no json module."""
        real_loads = json.loads

        def refuse(text):
            raise ValueError(text)

        json.loads = refuse
        try:
            Refusal("json", "py_get_constant", ("n_gen",), {}, ValueError, None, self.core.py_get_constant).expect()
        finally:
            json.loads = real_loads
        saved = sys.modules["json"]
        sys.modules["json"] = None
        try:
            Refusal("json", "py_get_constant", ("n_gen",), {}, ImportError, None, self.core.py_get_constant).expect()
        finally:
            sys.modules["json"] = saved

    def every_call(self):
        """One round of the leak tests: every accepted call, every refusal of the
        calling rules, and the datasheet's failures of its json module."""
        self.accepted_calls()
        for refusal in self.refusals:
            refusal.expect()
        self.json_failures()

    def passed_objects(self):
        """Objects every round passes to the core; a reference kept per call
        shows in their counts. None, the bools, small ints and one-character
        strings are shared by the whole interpreter, whose own traffic moves
        their counts."""
        return [
            passed
            for passed in [self.registry, self.quark_registry, self.matrix, *CONSTANT_NAMES, *MISSING_NAMES,
                           *SURROGATES, *TOLERANCES, *(value for value, _ in REFUSED_NAMES),
                           *(value for value, _, _ in REFUSED_TOLERANCES)]
            if not (passed is None or type(passed) in (bool, int) or (type(passed) is str and len(passed) <= 1))
        ]
