"""The public contract as a Python developer would write it without the
native core's constraints: tables built once at import, plain dicts."""

from tessellarch._seed import DERIVED_CONSTANTS as DERIVED
from tessellarch._seed import DIRECT_CONSTANTS as DIRECT
from tessellarch._seed import QUARKS, VERSION

__version__ = VERSION

_VALUES = {name: value for name, value, _ in DIRECT} | {name: 0.0 for name, *_ in DERIVED}
_SHEETS = {
    name: {"name": name, "status": "Seed", "uncertainty": None, "units": units, "value": value}
    for name, value, units in DIRECT
} | {
    name: {"name": name, "status": "Pending", "uncertainty": None, "units": units, "value": 0.0}
    for name, _, _, units in DERIVED
}
_CONSTANT_NAMES = sorted(_VALUES, key=str.encode)
_QUARK_NAMES = sorted((row[0] for row in QUARKS), key=str.encode)


def py_list_constants():
    return list(_CONSTANT_NAMES)


def py_list_quarks():
    return list(_QUARK_NAMES)


def py_get_constant(name):
    if not name:
        raise RuntimeError("py_get_constant: name must be non-empty")
    try:
        return dict(_SHEETS[name])
    except KeyError:
        raise KeyError(f"constant `{name}` not found in registry") from None


class PyFormulasRegistry:
    __slots__ = ()

    def get(self, name):
        try:
            return _VALUES[name]
        except KeyError:
            raise KeyError(f"constant `{name}` not found in registry") from None

    @staticmethod
    def version():
        return VERSION

    def __len__(self):
        return len(_VALUES)


class PyQuarkRegistry:
    __slots__ = ()

    def __len__(self):
        return 0


_IDENTITY = (1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0)


class PyCKMMatrix:
    __slots__ = ()

    @staticmethod
    def from_topology():
        return object.__new__(PyCKMMatrix)

    def is_unitary(self, tol):
        return float(tol) >= 0.0  # the identity's deviation is exactly zero

    def jarlskog(self):
        return 0.0
