// The seed table: every row, every bit.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <set>
#include <span>
#include <string>

#include "formulas/seed_table.hpp"

namespace orbalin::formulas {
namespace {

struct DirectRow {
    const char* name;
    std::uint64_t value_bits;
    const char* units;
};

// Bits written out independently of the table's decimal literals, so a typo
// in either shows.
constexpr DirectRow expected_direct[] = {
    {"b3", 0x4038000000000000, "dimensionless"},     {"chi_eff", 0x4052000000000000, "dimensionless"},
    {"n_gen", 0x4008000000000000, "count"},          {"roots_total", 0x4072000000000000, "count"},
    {"visible_sector", 0x405f400000000000, "count"}, {"sterile_sector", 0x4064600000000000, "count"},
    {"phi", 0x3ff9e3779b97f4a8, "dimensionless"},    {"gamma_em", 0x3fe2788cfc6fb619, "dimensionless"},
    {"jc_constant", 0x4063200000000000, "count"},    {"logic_closure", 0x4072000000000000, "count"},
};

struct DerivedRow {
    const char* name;
    const char* derivation;
    std::vector<std::string> dependencies;
    const char* units;
};

const DerivedRow expected_derived[] = {
    {"v_higgs_mev", "246220", {}, "MeV"},
    {"sterile_check", "roots_total - visible_sector", {"roots_total", "visible_sector"}, "count"},
    {"n_gen_sq", "n_gen * n_gen", {"n_gen"}, "count"},
    {"h0_central", "70", {}, "km/s/Mpc"},
    {"w0_central", "-1", {}, "dimensionless"},
    {"m_tau_mev", "1776.86", {}, "MeV"},
    {"topo_gen_check", "chi_eff / b3", {"chi_eff", "b3"}, "count"},
};

TEST(SeedTable, DirectRowsInOrderBitExact) {
    const auto rows = std::span(seed_rows).first(std::size(expected_direct));
    ASSERT_EQ(seed_rows.size(), std::size(expected_direct) + std::size(expected_derived));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_FALSE(rows[i].derived);
        EXPECT_TRUE(rows[i].dependencies.empty());
        SCOPED_TRACE(expected_direct[i].name);
        EXPECT_EQ(rows[i].name, expected_direct[i].name);
        EXPECT_EQ(std::bit_cast<std::uint64_t>(rows[i].value), expected_direct[i].value_bits);
        EXPECT_EQ(rows[i].units, expected_direct[i].units);
    }
}

TEST(SeedTable, DerivedRowsInOrderWithTheirDependencies) {
    const auto rows = std::span(seed_rows).subspan(std::size(expected_direct));
    ASSERT_EQ(rows.size(), std::size(expected_derived));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_TRUE(rows[i].derived);
        EXPECT_EQ(rows[i].value, 0.0);
        SCOPED_TRACE(expected_derived[i].name);
        EXPECT_EQ(rows[i].name, expected_derived[i].name);
        EXPECT_EQ(rows[i].derivation, expected_derived[i].derivation);
        EXPECT_EQ(std::vector<std::string>(rows[i].dependencies.begin(), rows[i].dependencies.end()),
                  expected_derived[i].dependencies);
        EXPECT_EQ(rows[i].units, expected_derived[i].units);
    }
}

TEST(SeedTable, NamesAreDistinctLowerCaseAndDependenciesAreDirectSeeds) {
    std::set<std::string> direct_names;
    std::set<std::string> all_names;
    for (const auto& row : seed_rows) {
        all_names.emplace(row.name);
        if (!row.derived) {
            direct_names.emplace(row.name);
        }
    }
    for (const auto& row : seed_rows) {
        for (const auto dep : row.dependencies) {
            EXPECT_TRUE(direct_names.contains(std::string(dep))) << dep;
        }
    }
    EXPECT_EQ(all_names.size(), seed_count);
    for (const auto& name : all_names) {
        for (const char c : name) {
            EXPECT_TRUE((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_') << name;
        }
    }
}

}  // namespace
}  // namespace orbalin::formulas
