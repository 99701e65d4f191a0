"""The module's built-in data, written down once for every test (and the
benchmarks' pure-Python twins): the constants given directly, the derived
ones, and the quarks. Everything below the three tables is computed from
them, so a change to the built-in data is a change to one row here."""

# name, value, units of each constant given directly; stored with status "Seed".
DIRECT = [
    ("b3", 24.0, "dimensionless"),
    ("chi_eff", 72.0, "dimensionless"),
    ("n_gen", 3.0, "count"),
    ("roots_total", 288.0, "count"),
    ("visible_sector", 125.0, "count"),
    ("sterile_sector", 163.0, "count"),
    ("phi", 1.618033988749895, "dimensionless"),
    ("gamma_em", 0.5772156649015329, "dimensionless"),
    ("jc_constant", 153.0, "count"),
    ("logic_closure", 288.0, "count"),
]

# name, derivation, dependencies, units of each derived constant; stored
# unevaluated, with status "Pending" and value 0.0.
DERIVED = [
    ("v_higgs_mev", "246220", (), "MeV"),
    ("sterile_check", "roots_total - visible_sector", ("roots_total", "visible_sector"), "count"),
    ("n_gen_sq", "n_gen * n_gen", ("n_gen",), "count"),
    ("h0_central", "70", (), "km/s/Mpc"),
    ("w0_central", "-1", (), "dimensionless"),
    ("m_tau_mev", "1776.86", (), "MeV"),
    ("topo_gen_check", "chi_eff / b3", ("chi_eff", "b3"), "count"),
]

# name, generation, phi exponent, mass in MeV, phi factor
QUARKS = [
    ("up", 1, 12, 764.665760128228, 0.003105620015141857),
    ("down", 1, 11, 1237.2551899207474, 0.005024998740641489),
    ("strange", 2, 8, 5241.0970900186985, 0.02128623625220818),
    ("charm", 2, 5, 22201.643549995544, 0.09016994374947422),
    ("bottom", 3, 4, 35923.013870002665, 0.14589803375031543),
    ("top", 3, 0, 246220.0, 1.0),
]

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
