"""The core of tessellarch in pure Python: the registry of constants, the
quarks and the CKM matrix, with the same names, results and refusals as the
native core ``tessellarch._orbalin_core``, for interpreters that have no
wheel of it.

Every public callable words its refusals as the native one does, which is why
each takes ``*args`` and ``**kwargs`` and matches them itself: the
interpreter's own messages for a Python function differ from those of a
built-in one. The call that succeeds is settled first, with as few checks as
its arguments allow.

Thread safety: the native registry guards each shard with a reader-writer
lock. Here a registry is a dict that is built from the seed, for one call or
one instance, and never written afterwards; reading such a dict needs no lock
of ours, under the GIL (a lookup or a copy is one atomic step) or without it
(free-threaded builds keep concurrent reads of a dict safe with its own
per-object locking).
"""

import os as _os
import sys as _sys
from _thread import get_ident as _thread_ident
from math import isnan as _isnan
from math import ldexp as _ldexp
from math import nan as _nan
from operator import index as _index
from types import FunctionType as _FunctionType

from tessellarch import _seed

__all__ = [
    "PyFormulasRegistry",
    "PyQuarkRegistry",
    "PyCKMMatrix",
    "py_list_constants",
    "py_list_quarks",
    "py_get_constant",
    "__version__",
]

# --- The registries' contents -------------------------------------------------
#
# Each registry is a copy of one of these dicts, made where the native core
# builds its registry from the seed: per call of a module function, per
# instance of a class. Records are tuples, so the copies share them safely.

# name -> (value, units, status, uncertainty, derivation, dependencies); no
# constant has an uncertainty.
_SEEDED_CONSTANTS = {
    **{name: (value, units, "Seed", None, None, ()) for name, value, units in _seed.DIRECT_CONSTANTS},
    **{
        name: (0.0, units, "Pending", None, derivation, dependencies)
        for name, derivation, dependencies, units in _seed.DERIVED_CONSTANTS
    },
}

# name -> (generation, phi exponent, mass in MeV, phi factor)
_SEEDED_QUARKS = {name: tuple(fields) for name, *fields in _seed.QUARKS}

# Listings are sorted by the names' UTF-8 bytes. For any str that has a UTF-8
# form (every stored name has), that is the order of its code points, which is
# how Python compares str: a plain sorted() gives it.

# --- The datasheet's JSON text --------------------------------------------------
#
# Written exactly as the native writer writes it: compact, keys in byte
# order, strings escaped with the two-character escapes or \u00xx, numbers in
# their shortest round-trip digits.

_ESCAPES = {code: f"\\u{code:04x}" for code in range(0x20)}
_ESCAPES.update({0x22: '\\"', 0x5C: "\\\\", 0x08: "\\b", 0x09: "\\t", 0x0A: "\\n", 0x0C: "\\f", 0x0D: "\\r"})


def _json_string(text):
    # Control characters are never printable, so a printable text without a
    # quote or a backslash is written as it is; only other texts go through
    # the slower translation. 0x7F and non-ASCII characters are never escaped.
    if text.isprintable() and '"' not in text and "\\" not in text:
        return f'"{text}"'
    return f'"{text.translate(_ESCAPES)}"'


def _json_number(number):
    # None (no number), NaN and the infinities are all written as null: JSON
    # has no NaN or infinity.
    if number is None or number - number != 0.0:
        return "null"
    # repr() gives the shortest round-trip digits, as the native writer does,
    # and the same plain layout for decimal exponents -4 to 15. Beyond that
    # repr switches to an exponent, which the native writer uses only from -6
    # down and writes without padding: 1e-06 is "1e-6", 1e+16 stays "1e+16",
    # and 1e-05 is "0.00001".
    text = repr(number)
    if "e" not in text:
        return text
    mantissa, _, exponent = text.partition("e")
    if exponent == "-05":
        sign = "-" if mantissa.startswith("-") else ""
        return f"{sign}0.0000{mantissa.lstrip('-').replace('.', '')}"
    return f"{mantissa}e{exponent[0]}{exponent[1:].lstrip('0')}"


# --- State that outlives a reload --------------------------------------------------
#
# importlib.reload() runs this file again in the same namespace, while the
# classes and functions of the earlier run may still be in use, reading the
# new globals. What they compare by identity is kept from the first run.

if "_ABSENT" not in globals():  # the first run
    # Stands for a parameter that the call did not fill.
    _ABSENT = object()

    # Each class of this module, of every run -> its C-level name as the
    # native messages show it (see _c_name).
    _C_NAMES = {}

    class InternalFailure(BaseException):
        """Raised when a call into tessellarch._pyorbalin_core fails an internal
        check.

        Like SystemExit, it derives from BaseException rather than Exception, so
        that it usually propagates all the way up and ends the interpreter instead
        of being swallowed by an `except Exception` clause."""

    # Not a module attribute under its own name, as the native one is not.
    _InternalFailure = InternalFailure
    del InternalFailure

# --- Matching arguments, with the native core's messages -------------------------


def _shows_signature(stub):
    """Gives the decorated function the parameters of `stub` in
    inspect.signature(), which follows __wrapped__: the function itself takes
    *args and **kwargs, to word its refusals as the native callable does."""

    def lend(function):
        function.__wrapped__ = stub
        return function

    return lend


class _NoSignature:
    """Stands, as __wrapped__, for a callable whose signature inspect must not
    find: reading its __signature__ raises ValueError with `text`, the
    interpreter's words for a native class that shows none."""

    __slots__ = ("_text",)

    def __init__(self, text):
        self._text = text

    @property
    def __signature__(self):
        raise ValueError(self._text)


def _too_many_positional(title, parameters, given):
    # "arguments" stays plural even for one parameter, as the native core writes it.
    return TypeError(
        f"{title}() takes {parameters} positional arguments but {given} {'was' if given == 1 else 'were'} given"
    )


def _match_one(title, parameter, first, extra, keywords):
    """The argument of a call with one parameter, from its positional
    arguments (`first`, then `extra`) and its keywords, or TypeError. Checked
    in the native core's order: too many positional arguments, then each
    keyword in turn (a stranger, or the parameter given twice), then nothing
    given at all."""
    if extra:
        raise _too_many_positional(title, 1, 1 + len(extra))
    matched = first
    for keyword, value in keywords.items():
        # Only the keyword's characters count, not what a str subclass says of them.
        if not (keyword == parameter if type(keyword) is str else str.__eq__(keyword, parameter)):
            raise TypeError(f"{title}() got an unexpected keyword argument '{str.__str__(keyword)}'")
        if matched is not _ABSENT:
            raise TypeError(f"{title}() got multiple values for argument '{parameter}'")
        matched = value
    if matched is _ABSENT:
        raise TypeError(f"{title}() missing 1 required positional argument: '{parameter}'")
    return matched


def _no_arguments(title, args, kwargs):
    # The interpreter's wording for a built-in function that takes no arguments.
    if kwargs:
        return TypeError(f"{title}() takes no keyword arguments")
    return TypeError(f"{title}() takes no arguments ({len(args)} given)")


# --- Class names as the native messages show them ---------------------------------
#
# The native messages name a class by its C-level name: the native classes'
# is "builtins.<name>" and the interpreter's own differ from their __name__
# ("collections.OrderedDict"). A Python class's C-level name is its __name__,
# so these classes' names are written down (in _C_NAMES), and any other
# class's is asked of the interpreter, which puts it in its own refusals.
# Only refusals need them.


def _c_name(cls):
    """The full C-level name of the class `cls`."""
    name = _C_NAMES.get(cls)
    if name is not None:
        return name
    # "<probe>.__new__(<name>): <name> is not a subtype of <probe>"; no class
    # is a subtype of both probes.
    probe = bytes if issubclass(cls, int) else int
    try:
        probe.__new__(cls)
    except TypeError as error:
        text = str(error)
    else:  # unreachable: cls is a subtype of neither probe
        return cls.__name__
    head, tail = f"{probe.__name__}.__new__(", f" is not a subtype of {probe.__name__}"
    if not (text.startswith(head) and text.endswith(tail)):
        return cls.__name__  # an interpreter that words it otherwise
    both = text[len(head) : -len(tail)]  # "<name>): <name>"
    return both[: (len(both) - 3) // 2]


def _received_name(obj):
    """The C-level name of type(obj), cut as the interpreter's descriptor
    messages cut it."""
    name = _C_NAMES.get(type(obj))
    if name is not None:
        return name
    # "descriptor '<slot>' requires a '<probe>' object but received a '<name>'"
    probe = bytes.__len__ if issubclass(type(obj), int) else int.__index__
    try:
        probe(obj)
    except TypeError as error:
        text = str(error)
    else:  # unreachable: obj is an instance of neither probe
        return type(obj).__name__
    _, found, name = text.partition(" but received a '")
    return name[:-1] if found else type(obj).__name__


def _foreign_receiver(owner, method, receiver):
    """TypeError for an unbound call of the method `method` of the class
    `owner` without an instance of it, worded as the interpreter words it for
    a built-in method."""
    if receiver is _ABSENT:
        return TypeError(f"unbound method {owner.__name__}.{method}() needs an argument")
    return TypeError(
        f"descriptor '{method}' for '{_C_NAMES[owner]}' objects doesn't apply to a '{_received_name(receiver)}' object"
    )


def _refuse_length_call(owner, receiver, args, kwargs):
    # As the interpreter words it for the __len__ slot of a built-in class.
    if receiver is _ABSENT:
        return TypeError(f"descriptor '__len__' of '{_C_NAMES[owner]}' object needs an argument")
    if type(receiver) is not owner:
        return TypeError(
            f"descriptor '__len__' requires a '{_C_NAMES[owner]}' object but received a '{_received_name(receiver)}'"
        )
    if kwargs:
        return TypeError("wrapper __len__() takes no keyword arguments")
    return TypeError(f"expected 0 arguments, got {len(args)}")


def _refuse_construction_call(owner, cls, args, kwargs):
    """TypeError for a call of owner.__new__ that cannot make an instance: the
    interpreter's checks of the class argument, then the constructor's own
    refusal of any argument."""
    full = _C_NAMES[owner]
    if cls is _ABSENT:
        return TypeError(f"{full}.__new__(): not enough arguments")
    if not issubclass(type(cls), type):
        return TypeError(f"{full}.__new__(X): X is not a type object ({_c_name(type(cls))})")
    if cls is not owner:
        name = _c_name(cls)
        return TypeError(f"{full}.__new__({name}): {name} is not a subtype of {full}")
    if args:
        return _too_many_positional(f"{owner.__name__}.__new__", 0, len(args))
    keyword = str.__str__(next(iter(kwargs)))
    return TypeError(f"{owner.__name__}.__new__() got an unexpected keyword argument '{keyword}'")


# --- Converting arguments ----------------------------------------------------------

# The stored __qualname__ of a class, read past any metaclass: what the
# native core formats, a str for every class.
_stored_qualname = type.__dict__["__qualname__"].__get__


def _text_argument(argument, parameter):
    """An exact str holding the characters of a str subclass `argument`; any
    other object is refused. Only its characters count: none of the
    subclass's methods is called."""
    if issubclass(type(argument), str):
        return str.__str__(argument)
    raise TypeError(
        f"argument '{parameter}': '{_stored_qualname(type(argument))}' object cannot be converted to 'PyString'"
    )


def _as_double(argument):
    """CPython's conversion of an object to a C double, written out for the
    interpreters whose math functions convert otherwise (PyPy's take neither
    __index__ nor every object with __float__): a float subclass gives its
    value, then __float__ (looked up on the type), then __index__."""
    if isinstance(argument, float):
        return float(argument)
    cls = type(argument)
    convert = getattr(cls, "__float__", None)
    if convert is not None:
        result = convert(argument)
        if type(result) is float:
            return result
        if isinstance(result, float):
            import warnings

            warnings.warn(f"{cls.__name__}.__float__ returned non-float (type {type(result).__name__}).  "
                          "The ability to return an instance of a strict subclass of float is deprecated, "
                          "and may be removed in a future version of Python.", DeprecationWarning, stacklevel=4)
            return float(result)
        raise TypeError(f"{cls.__name__}.__float__ returned non-float (type {type(result).__name__})")
    if getattr(cls, "__index__", None) is not None:
        return float(_index(argument))  # OverflowError for an int beyond the doubles
    raise TypeError(f"must be real number, not {cls.__name__}")


# math.ldexp(x, 0) returns x unchanged, and converts x with CPython's own C
# conversion, the one the native argument goes through: every message and
# warning is then the interpreter's. Elsewhere the conversion is written out.
_to_double = (lambda argument: _ldexp(argument, 0)) if _sys.implementation.name == "cpython" else _as_double


def _real_argument(argument, parameter):
    """`argument` as a float, converted as the native core converts it."""
    try:
        return _to_double(argument)
    except TypeError as error:
        refused = error
    # The interpreter names this module's classes by their C-level name,
    # which is not the native classes' (see _C_NAMES).
    own = _C_NAMES.get(type(argument))
    text = f"must be real number, not {own}" if own is not None else str(refused)
    # A TypeError is reported under the argument's name and keeps its cause;
    # raised outside the handler, so that the refused error is not its context.
    renamed = TypeError(f"argument '{parameter}': {text}")
    if refused.__cause__ is not None:
        renamed.__cause__ = refused.__cause__
    raise renamed


def _not_found(argument, text):
    """KeyError for the name `text` that no constant has."""
    # The native core refuses a name without a UTF-8 form (a lone surrogate)
    # before its lookup. No stored name is such a text, so checking it only
    # once the lookup has failed gives the same answer.
    str.encode(argument)
    return KeyError(f"constant `{text}` not found in registry")


# --- Internal failures ---------------------------------------------------------------


def _fail_check(text):
    """Writes one diagnostic line to standard error and returns the
    InternalFailure to raise."""
    line = f"{__name__}: internal check failed on thread {_thread_ident()}: {text}\n"
    # Through sys.stderr, so that redirections made in Python see it; when it
    # cannot be written, straight to the process's standard error.
    try:
        _sys.stderr.write(line)
    except Exception:
        try:
            _os.write(2, line.encode())
        except OSError:
            pass
    return _InternalFailure(text)


# --- The classes -----------------------------------------------------------------------


def _final_and_uncopyable():
    """__init_subclass__, __reduce_ex__ and __reduce__ for a class that, as a
    native class, has no subclasses and whose instances cannot be copied or
    pickled; made anew for each class, which names them as its own."""

    def __init_subclass__(cls, /, **kwargs):
        for base in cls.__bases__:
            name = _C_NAMES.get(base)
            if name is not None:
                raise TypeError(f"type '{name}' is not an acceptable base type")

    # An instance holds nothing that a copy could be made from: copy, deepcopy
    # and pickle are refused, as the interpreter words it for the native class.

    def __reduce_ex__(self, protocol, /):
        """Helper for pickle."""
        if protocol < 2:  # the old protocols' refusal, copyreg's, names the class by its __name__
            raise TypeError(f"cannot pickle {type(self).__name__!r} object")
        raise TypeError(f"cannot pickle '{_C_NAMES[type(self)]}' object")

    def __reduce__(self, /):
        """Helper for pickle."""
        raise TypeError(f"cannot pickle {type(self).__name__!r} object")

    return __init_subclass__, __reduce_ex__, __reduce__


def _native_class(cls):
    """Makes `cls` look as the native class does from Python: a class of
    builtins whose methods belong to no module, so that the interpreter's
    messages about a call name them as "PyCKMMatrix.jarlskog()"."""
    cls.__module__ = "builtins"
    _C_NAMES[cls] = f"builtins.{cls.__name__}"
    for name, member in vars(cls).items():
        function = getattr(member, "__func__", member)
        if isinstance(function, _FunctionType):
            function.__module__ = None
            function.__qualname__ = f"{cls.__name__}.{name}"
    return cls


# Each method checks its receiver first: only an unbound call can bring a
# foreign one, and the classes have no subclasses, so an exact type check
# settles it. The class is read from the method's __class__ cell, not from
# the module namespace, which its users may empty.


@_native_class
class PyFormulasRegistry:
    """Python wrapper for [`FormulasRegistry`]."""

    __slots__ = ("__records",)
    __init_subclass__, __reduce_ex__, __reduce__ = _final_and_uncopyable()

    @_shows_signature(lambda cls, /: None)
    def __new__(cls=_ABSENT, /, *args, **kwargs):
        """Create and return a new object.  See help(type) for accurate signature."""
        if cls is not __class__ or args or kwargs:
            raise _refuse_construction_call(__class__, cls, args, kwargs)
        registry = object.__new__(cls)
        registry.__records = _SEEDED_CONSTANTS.copy()  # this instance's own registry
        return registry

    @_shows_signature(lambda self, /: None)
    def __len__(self=_ABSENT, /, *args, **kwargs):
        """Return len(self)."""
        if type(self) is not __class__ or args or kwargs:
            raise _refuse_length_call(__class__, self, args, kwargs)
        return len(self.__records)

    @_shows_signature(lambda self, /, name: None)
    def get(self=_ABSENT, name=_ABSENT, /, *args, **kwargs):
        """Retrieve the numeric value for `name`."""
        if type(self) is not __class__:
            raise _foreign_receiver(__class__, "get", self)
        if args or kwargs or name is _ABSENT:
            name = _match_one("PyFormulasRegistry.get", "name", name, args, kwargs)
        text = name if type(name) is str else _text_argument(name, "name")
        try:
            return self.__records[text][0]
        except KeyError:
            pass
        raise _not_found(name, text)

    @staticmethod
    @_shows_signature(lambda: None)
    def version(*args, **kwargs):
        """Library-version round-trip helper."""
        if args or kwargs:
            raise _no_arguments("PyFormulasRegistry.version", args, kwargs)
        return _seed.VERSION


@_native_class
class PyQuarkRegistry:
    """Python wrapper for [`QuarkRegistry`]."""

    __slots__ = ("__records",)
    __init_subclass__, __reduce_ex__, __reduce__ = _final_and_uncopyable()

    @_shows_signature(lambda cls, /: None)
    def __new__(cls=_ABSENT, /, *args, **kwargs):
        """Create and return a new object.  See help(type) for accurate signature."""
        if cls is not __class__ or args or kwargs:
            raise _refuse_construction_call(__class__, cls, args, kwargs)
        registry = object.__new__(cls)
        registry.__records = {}  # wraps an empty quark registry, as the native class does
        return registry

    @_shows_signature(lambda self, /: None)
    def __len__(self=_ABSENT, /, *args, **kwargs):
        """Return len(self)."""
        if type(self) is not __class__ or args or kwargs:
            raise _refuse_length_call(__class__, self, args, kwargs)
        return len(self.__records)


def _unitarity_deviation(elements):
    """The largest |(M Mᵀ)[i][j] - δij| of the 3x3 matrix `elements` (row by
    row), or NaN when an entry of M Mᵀ is NaN: the native check's arithmetic,
    each sum grouped as (a0·b0 + a1·b1) + a2·b2."""
    rows = (elements[0:3], elements[3:6], elements[6:9])
    largest = 0.0
    for i, (a0, a1, a2) in enumerate(rows):
        for j, (b0, b1, b2) in enumerate(rows):
            product = (a0 * b0 + a1 * b1) + a2 * b2
            deviation = abs(product + (-1.0)) if i == j else abs(product)
            if _isnan(deviation):
                return _nan
            largest = max(largest, deviation)
    return largest


# from_topology() always makes the same matrix, which never changes once made:
# its deviation is worked out once, here, and each matrix carries it with its
# numbers, so that is_unitary() only compares.
_TOPOLOGY_DEVIATION = _unitarity_deviation(_seed.CKM_ELEMENTS)


@_native_class
class PyCKMMatrix:
    """Python wrapper for [`CKMMatrix`]."""

    # The nine elements row by row, the stored Jarlskog invariant, and their
    # deviation from unitarity.
    __slots__ = ("__elements", "__jarlskog", "__deviation")
    __init_subclass__, __reduce_ex__, __reduce__ = _final_and_uncopyable()

    # Without a constructor, the native class shows no signature at all.
    @_shows_signature(_NoSignature("no signature found for builtin type <class 'builtins.PyCKMMatrix'>"))
    def __new__(cls=_ABSENT, /, *args, **kwargs):
        """Create and return a new object.  See help(type) for accurate signature."""
        if cls is not __class__:
            raise _refuse_construction_call(__class__, cls, args, kwargs)
        raise TypeError(f"No constructor defined for {cls.__name__}")

    @staticmethod
    @_shows_signature(lambda: None)
    def from_topology(*args, **kwargs):
        """Build the CKM matrix from the underlying topology."""
        if args or kwargs:
            raise _no_arguments("PyCKMMatrix.from_topology", args, kwargs)
        matrix = object.__new__(__class__)
        matrix.__elements = _seed.CKM_ELEMENTS  # a tuple: sharing it is holding it by value
        matrix.__jarlskog = _seed.CKM_JARLSKOG
        matrix.__deviation = _TOPOLOGY_DEVIATION
        return matrix

    @_shows_signature(lambda self, /, tol: None)
    def is_unitary(self=_ABSENT, tol=_ABSENT, /, *args, **kwargs):
        """`True` when the matrix is unitary within `tol`."""
        if type(self) is not __class__:
            raise _foreign_receiver(__class__, "is_unitary", self)
        if args or kwargs or tol is _ABSENT:
            tol = _match_one("PyCKMMatrix.is_unitary", "tol", tol, args, kwargs)
        if type(tol) is not float:
            tol = _real_argument(tol, "tol")
        # Any comparison with NaN is false: a NaN tolerance or deviation never passes.
        return tol >= self.__deviation

    @_shows_signature(lambda self, /: None)
    def jarlskog(self=_ABSENT, /, *args, **kwargs):
        """CP-violation Jarlskog invariant J."""
        if type(self) is not __class__:
            raise _foreign_receiver(__class__, "jarlskog", self)
        if args or kwargs:
            raise _no_arguments("PyCKMMatrix.jarlskog", args, kwargs)
        return self.__jarlskog


# --- The functions -------------------------------------------------------------------------

# The globals handed to __import__, and the module table the import is then
# read from: the interpreter's own, as the native core reads it.
_NAMESPACE = globals()
_MODULES = _sys.modules


@_shows_signature(lambda: None)
def py_list_constants(*args, **kwargs):
    if args or kwargs:
        raise _no_arguments(f"{__name__}.py_list_constants", args, kwargs)
    return sorted(_SEEDED_CONSTANTS.copy())  # a registry for this call alone


py_list_constants.__doc__ = (
    "Accelerated twin of `tessellarch.list_constants`.\n\n"
    "Returns all known constant names from the FormulasRegistry."
)


@_shows_signature(lambda: None)
def py_list_quarks(*args, **kwargs):
    if args or kwargs:
        raise _no_arguments(f"{__name__}.py_list_quarks", args, kwargs)
    return sorted(_SEEDED_QUARKS.copy())  # the standard-model registry, for this call alone


py_list_quarks.__doc__ = (
    "Accelerated twin of `tessellarch.list_quarks`.\n\n"
    "Returns all SM quark names from the QuarkRegistry."
)


@_shows_signature(lambda name: None)
def py_get_constant(name=_ABSENT, /, *args, **kwargs):
    if args or kwargs or name is _ABSENT:
        name = _match_one("py_get_constant", "name", name, args, kwargs)
    text = name if type(name) is str else _text_argument(name, "name")
    if not text:
        raise _fail_check("py_get_constant: name must be non-empty")
    try:
        value, units, status, uncertainty, _, _ = _SEEDED_CONSTANTS.copy()[text]  # a registry for this call alone
    except KeyError:
        pass
    else:
        sheet = (
            f'{{"name":{_json_string(text)},"status":{_json_string(status)},'
            f'"uncertainty":{_json_number(uncertainty)},"units":{_json_string(units)},'
            f'"value":{_json_number(value)}}}'
        )
        # json is imported afresh on every call, as the native core imports
        # it: __import__ (whatever builtins holds now) runs for its effect and
        # the module is then read from the module table, so import hooks, a
        # replaced __import__, sys.modules and a replaced json.loads all count.
        __import__("json", _NAMESPACE, _NAMESPACE, [], 0)
        return _MODULES["json"].loads(sheet)
    raise _not_found(name, text)


py_get_constant.__doc__ = (
    "Accelerated twin of `tessellarch.Get` for the constants branch.\n\n"
    "Returns a JSON-serialised dict with `name`, `value`, `units`,\n"
    "`uncertainty`, and `status` fields \u2014 matching the Python constant\n"
    "datasheet schema so callers don't need to branch.\n\n"
    "Raises `PyKeyError` when `name` is not in the registry."
)

__version__ = _seed.VERSION
