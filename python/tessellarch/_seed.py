"""The package's built-in data, stated once for all Python code: the Python
side of the package builds its registries from these tables, and the tests
and benchmarks read them from here. The native core keeps its own copy in
C++; the test suite runs against both cores, so the two cannot drift apart
unnoticed.

Every number is the exact double written in its shortest decimal form, which
reads back to that same double.
"""

VERSION = "2.3.0"

# Constants given directly: name, value, units. Stored with the status
# "Seed", no uncertainty and no derivation.
DIRECT_CONSTANTS = (
    ("b3", 24.0, "dimensionless"),
    ("chi_eff", 72.0, "dimensionless"),
    ("n_gen", 3.0, "count"),
    ("roots_total", 288.0, "count"),
    ("visible_sector", 125.0, "count"),
    ("sterile_sector", 163.0, "count"),
    ("phi", 1.618033988749895, "dimensionless"),  # the double nearest the golden ratio
    ("gamma_em", 0.5772156649015329, "dimensionless"),  # the double nearest the Euler-Mascheroni constant
    ("jc_constant", 153.0, "count"),
    ("logic_closure", 288.0, "count"),
)

# Constants that carry a derivation: name, derivation, dependencies, units.
# Stored with the status "Pending" and the value 0.0; the derivation is text,
# never evaluated.
DERIVED_CONSTANTS = (
    ("v_higgs_mev", "246220", (), "MeV"),
    ("sterile_check", "roots_total - visible_sector", ("roots_total", "visible_sector"), "count"),
    ("n_gen_sq", "n_gen * n_gen", ("n_gen",), "count"),
    ("h0_central", "70", (), "km/s/Mpc"),
    ("w0_central", "-1", (), "dimensionless"),
    ("m_tau_mev", "1776.86", (), "MeV"),
    ("topo_gen_check", "chi_eff / b3", ("chi_eff", "b3"), "count"),
)

# The six quarks: name, generation, exponent e, mass in MeV, factor. The
# factor is the golden ratio to the power -e as stored (within two units in
# the last place of that power), and the mass is 246220.0 times the factor,
# exactly, in double arithmetic.
QUARKS = (
    ("up", 1, 12, 764.665760128228, 0.003105620015141857),
    ("down", 1, 11, 1237.2551899207474, 0.005024998740641489),
    ("strange", 2, 8, 5241.0970900186985, 0.02128623625220818),
    ("charm", 2, 5, 22201.643549995544, 0.09016994374947422),
    ("bottom", 3, 4, 35923.013870002665, 0.14589803375031543),
    ("top", 3, 0, 246220.0, 1.0),
)

# The mixing matrix made from topology, row by row (the identity, every zero
# a positive zero), and its stored Jarlskog invariant.
CKM_ELEMENTS = (
    1.0, 0.0, 0.0,
    0.0, 1.0, 0.0,
    0.0, 0.0, 1.0,
)
CKM_JARLSKOG = 0.0
