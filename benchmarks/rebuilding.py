"""The public contract in pure Python, doing the work the native core must:
every call that builds a registry builds one afresh, and the datasheet is
written as JSON text and parsed back with json.loads."""

import json
from dataclasses import dataclass, field

from seed_data import DERIVED, DIRECT, QUARKS, VERSION

__version__ = VERSION


@dataclass(slots=True)
class ConstantRecord:
    name: str
    value: float
    units: str
    status: str
    uncertainty: float | None = None
    derivation: str | None = None
    dependencies: list[str] = field(default_factory=list)


def build_registry():
    registry = {}
    for name, value, units in DIRECT:
        registry[name] = ConstantRecord(name, value, units, "Seed")
    for name, derivation, dependencies, units in DERIVED:
        registry[name] = ConstantRecord(name, 0.0, units, "Pending", None, derivation, list(dependencies))
    return registry


def py_list_constants():
    return sorted(build_registry(), key=str.encode)


def py_get_constant(name):
    if not isinstance(name, str):
        raise TypeError(f"argument 'name': '{type(name).__qualname__}' object cannot be converted to 'PyString'")
    if not name:
        raise RuntimeError("py_get_constant: name must be non-empty")
    record = build_registry().get(name)
    if record is None:
        raise KeyError(f"constant `{name}` not found in registry")
    sheet = {
        "name": record.name,
        "status": record.status,
        "uncertainty": record.uncertainty,
        "units": record.units,
        "value": record.value,
    }
    return json.loads(json.dumps(sheet, separators=(",", ":"), sort_keys=True))


def py_list_quarks():
    registry = {name: (generation, exponent, mass, factor, {}) for name, generation, exponent, mass, factor in QUARKS}
    return sorted(registry, key=str.encode)


class PyFormulasRegistry:
    __slots__ = ("_registry",)

    def __init__(self):
        self._registry = build_registry()

    def get(self, name):
        record = self._registry.get(name)
        if record is None:
            raise KeyError(f"constant `{name}` not found in registry")
        return record.value

    @staticmethod
    def version():
        return VERSION

    def __len__(self):
        return len(self._registry)


class PyQuarkRegistry:
    __slots__ = ("_registry",)

    def __init__(self):
        self._registry = {}

    def __len__(self):
        return len(self._registry)


class PyCKMMatrix:
    __slots__ = ("_elements", "_jarlskog")

    def __new__(cls, *args, **kwargs):
        raise TypeError("No constructor defined for PyCKMMatrix")

    @classmethod
    def _make(cls):
        matrix = object.__new__(cls)
        matrix._elements = (1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0)
        matrix._jarlskog = 0.0
        return matrix

    @staticmethod
    def from_topology():
        return PyCKMMatrix._make()

    def is_unitary(self, tol):
        tol = float(tol)
        e = self._elements
        largest = 0.0
        for i in range(3):
            for j in range(3):
                dot = (e[3 * i] * e[3 * j] + e[3 * i + 1] * e[3 * j + 1]) + e[3 * i + 2] * e[3 * j + 2]
                deviation = abs(dot - 1.0) if i == j else abs(dot)
                if deviation != deviation:
                    return False
                largest = max(largest, deviation)
        return tol >= largest

    def jarlskog(self):
        return self._jarlskog
