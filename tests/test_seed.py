"""The package's one statement of its built-in data holds together: what the
rows say of each other is true of the numbers they store. (That each core
serves these rows is what every other test checks.)"""

import math

from seed import CKM_ELEMENTS, CKM_JARLSKOG, CONSTANT_COUNT, DERIVED, DIRECT, QUARKS

PHI = dict((name, value) for name, value, _ in DIRECT)["phi"]


def test_names_are_unique_lower_case_keys():
    names = [row[0] for row in (*DIRECT, *DERIVED)]
    assert len(set(names)) == len(names) == CONSTANT_COUNT == 17
    assert all(name == name.lower() and name.isascii() and " " not in name for name in names)


def test_dependencies_are_the_names_their_derivation_uses():
    direct = {name for name, _, _ in DIRECT}
    for name, derivation, dependencies, _ in DERIVED:
        words = [word for word in derivation.split(" ") if word.isidentifier()]
        assert list(dependencies) == list(dict.fromkeys(words)), name
        assert set(dependencies) <= direct, name


def test_plain_number_derivations_are_shortest_decimal_texts():
    for name, derivation, dependencies, _ in DERIVED:
        if dependencies:
            continue
        number = float(derivation)
        shortest = repr(number)
        assert derivation == (shortest[:-2] if shortest.endswith(".0") else shortest), name
        assert "e" not in derivation, name


def test_each_quark_mass_is_the_higgs_scale_times_its_factor_exactly():
    higgs_scale = float(dict((row[0], row[1]) for row in DERIVED)["v_higgs_mev"])
    for name, generation, exponent, mass, factor in QUARKS:
        assert mass == higgs_scale * factor, name
        # The factor as stored lies within two units in the last place of phi**-exponent.
        assert abs(factor - PHI ** -exponent) <= 2 * math.ulp(factor), name
        assert generation in (1, 2, 3) and 0 <= exponent <= 12, name
    assert [row[0] for row in QUARKS] == ["up", "down", "strange", "charm", "bottom", "top"]


def test_the_matrix_is_the_identity_with_positive_zeros():
    assert len(CKM_ELEMENTS) == 9
    for index, element in enumerate(CKM_ELEMENTS):
        assert element == (1.0 if index % 4 == 0 else 0.0)
        assert math.copysign(1.0, element) == 1.0
    assert CKM_JARLSKOG == 0.0 and math.copysign(1.0, CKM_JARLSKOG) == 1.0
