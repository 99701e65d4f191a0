// The fixed table every FormulasRegistry is filled from.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

namespace orbalin::formulas {

// One row: a constant given with its value (`derived` false: no derivation,
// no dependencies), or one that carries a derivation (stored, never
// evaluated) and whose value is 0.0.
struct SeedRow {
    std::string_view name;
    double value;
    std::string_view units;
    bool derived;
    std::string_view derivation;
    std::span<const std::string_view> dependencies;
};

inline constexpr std::size_t seed_count = 17;

namespace seed_detail {
inline constexpr std::array<std::string_view, 2> sterile_check_deps{"roots_total", "visible_sector"};
inline constexpr std::array<std::string_view, 1> n_gen_sq_deps{"n_gen"};
inline constexpr std::array<std::string_view, 2> topo_gen_check_deps{"chi_eff", "b3"};
}  // namespace seed_detail

// The rows in insertion order: every direct constant, then every derived one.
// Every value is written in its shortest round-trip decimal form, which the
// compiler reads to exactly the intended double; nothing is computed. The
// plain-number derivations are the shortest decimal texts of 246220.0, 70.0,
// -1.0 and 1776.86, integral ones without a fraction.
inline constexpr std::array<SeedRow, seed_count> seed_rows{{
    {"b3", 24.0, "dimensionless", false, {}, {}},
    {"chi_eff", 72.0, "dimensionless", false, {}, {}},
    {"n_gen", 3.0, "count", false, {}, {}},
    {"roots_total", 288.0, "count", false, {}, {}},
    {"visible_sector", 125.0, "count", false, {}, {}},
    {"sterile_sector", 163.0, "count", false, {}, {}},
    {"phi", 1.618033988749895, "dimensionless", false, {}, {}},        // nearest double to the golden ratio
    {"gamma_em", 0.5772156649015329, "dimensionless", false, {}, {}},  // nearest double to Euler-Mascheroni
    {"jc_constant", 153.0, "count", false, {}, {}},
    {"logic_closure", 288.0, "count", false, {}, {}},
    {"v_higgs_mev", 0.0, "MeV", true, "246220", {}},
    {"sterile_check", 0.0, "count", true, "roots_total - visible_sector", seed_detail::sterile_check_deps},
    {"n_gen_sq", 0.0, "count", true, "n_gen * n_gen", seed_detail::n_gen_sq_deps},
    {"h0_central", 0.0, "km/s/Mpc", true, "70", {}},
    {"w0_central", 0.0, "dimensionless", true, "-1", {}},
    {"m_tau_mev", 0.0, "MeV", true, "1776.86", {}},
    {"topo_gen_check", 0.0, "count", true, "chi_eff / b3", seed_detail::topo_gen_check_deps},
}};

}  // namespace orbalin::formulas
