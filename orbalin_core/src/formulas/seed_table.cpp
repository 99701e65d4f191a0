#include "formulas/seed_table.hpp"

namespace orbalin::formulas {
namespace {

// Every value is written in its shortest round-trip decimal form, which the
// compiler reads to exactly the intended double; nothing is computed.
constexpr std::array<DirectSeed, 10> direct_table{{
    {"b3", 24.0, "dimensionless"},
    {"chi_eff", 72.0, "dimensionless"},
    {"n_gen", 3.0, "count"},
    {"roots_total", 288.0, "count"},
    {"visible_sector", 125.0, "count"},
    {"sterile_sector", 163.0, "count"},
    {"phi", 1.618033988749895, "dimensionless"},        // nearest double to the golden ratio
    {"gamma_em", 0.5772156649015329, "dimensionless"},  // nearest double to Euler-Mascheroni
    {"jc_constant", 153.0, "count"},
    {"logic_closure", 288.0, "count"},
}};

constexpr std::array<std::string_view, 2> sterile_check_deps{"roots_total", "visible_sector"};
constexpr std::array<std::string_view, 1> n_gen_sq_deps{"n_gen"};
constexpr std::array<std::string_view, 2> topo_gen_check_deps{"chi_eff", "b3"};

// The plain-number derivations are the shortest decimal texts of 246220.0,
// 70.0, -1.0 and 1776.86, integral ones without a fraction.
constexpr std::array<DerivedSeed, 7> derived_table{{
    {"v_higgs_mev", "246220", {}, "MeV"},
    {"sterile_check", "roots_total - visible_sector", sterile_check_deps, "count"},
    {"n_gen_sq", "n_gen * n_gen", n_gen_sq_deps, "count"},
    {"h0_central", "70", {}, "km/s/Mpc"},
    {"w0_central", "-1", {}, "dimensionless"},
    {"m_tau_mev", "1776.86", {}, "MeV"},
    {"topo_gen_check", "chi_eff / b3", topo_gen_check_deps, "count"},
}};

static_assert(direct_table.size() + derived_table.size() == seed_count);

}  // namespace

std::span<const DirectSeed> direct_seeds() noexcept {
    return direct_table;
}

std::span<const DerivedSeed> derived_seeds() noexcept {
    return derived_table;
}

}  // namespace orbalin::formulas
