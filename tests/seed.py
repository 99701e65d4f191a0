"""The built-in data as the tests see it: the package's own statement of the
seed (tessellarch._seed), and the tables the tests compare both cores with,
computed from it. Nothing here restates a number."""

from tessellarch._seed import (
    CKM_ELEMENTS,
    CKM_JARLSKOG,
    DERIVED_CONSTANTS as DERIVED,
    DIRECT_CONSTANTS as DIRECT,
    QUARKS,
    VERSION,
)

__all__ = ["CKM_ELEMENTS", "CKM_JARLSKOG", "CONSTANT_COUNT", "CONSTANT_NAMES", "DERIVED", "DIRECT", "QUARKS",
           "QUARK_NAMES", "SHEETS", "SHEET_FIELDS", "VALUES", "VERSION", "sheet"]

# The keys of a datasheet, in the order the module writes them.
SHEET_FIELDS = ["name", "status", "uncertainty", "units", "value"]


def sheet(name, status, units, value):
    return dict(zip(SHEET_FIELDS, [name, status, None, units, value]))


# The datasheet of every constant; no constant has an uncertainty.
SHEETS = {name: sheet(name, "Seed", units, value) for name, value, units in DIRECT} | {
    name: sheet(name, "Pending", units, 0.0) for name, _, _, units in DERIVED
}
VALUES = {name: fields["value"] for name, fields in SHEETS.items()}

# Listings come sorted by the names' UTF-8 bytes.
CONSTANT_NAMES = sorted(SHEETS, key=str.encode)
CONSTANT_COUNT = len(CONSTANT_NAMES)
QUARK_NAMES = sorted((row[0] for row in QUARKS), key=str.encode)
