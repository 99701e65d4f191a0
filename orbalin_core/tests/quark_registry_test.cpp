// The quark registry and its standard-model table.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>

#include "quarks/quark_registry.hpp"
#include "support/registry_views.hpp"

namespace orbalin::quarks {
namespace {

struct Expected {
    const char* name;
    int generation;
    int phi_exponent;
    std::uint64_t mass_bits;
    std::uint64_t factor_bits;
};

// The table's bits, written out again so a slip in either copy shows.
constexpr Expected table[] = {
    {"up", 1, 12, 0x4087e5537a0bcdc3, 0x3f6970f50cc34671},     {"down", 1, 11, 0x409355055081af84, 0x3f749517d40e5239},
    {"strange", 2, 8, 0x40b47918dae43714, 0x3f95cc0f223b8f47}, {"charm", 2, 5, 0x40d5ae692fec520d, 0x3fb715609f7c746b},
    {"bottom", 3, 4, 0x40e18a60719f80fb, 0x3fc2acc969c11045},  {"top", 3, 0, 0x410e0e6000000000, 0x3ff0000000000000},
};

TEST(QuarkTable, EveryRowBitExact) {
    const auto registry = QuarkRegistry::standard_model();
    ASSERT_EQ(registry.len(), 6U);
    for (const Expected& row : table) {
        SCOPED_TRACE(row.name);
        const QuarkRecord* record = registry.find(row.name);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->name, row.name);
        EXPECT_EQ(record->generation, row.generation);
        EXPECT_EQ(record->phi_exponent, row.phi_exponent);
        EXPECT_EQ(std::bit_cast<std::uint64_t>(record->mass_mev), row.mass_bits);
        EXPECT_EQ(std::bit_cast<std::uint64_t>(record->phi_factor), row.factor_bits);
        EXPECT_EQ(record->attributes.size(), 0U);
    }
}

TEST(QuarkTable, MassIsTheHiggsScaleTimesTheFactorExactly) {
    const auto registry = QuarkRegistry::standard_model();
    for (const Expected& row : table) {
        const QuarkRecord* record = registry.find(row.name);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(std::bit_cast<std::uint64_t>(record->mass_mev),
                  std::bit_cast<std::uint64_t>(246220.0 * record->phi_factor))
            << row.name;
    }
    EXPECT_EQ(registry.find("top")->phi_factor, 1.0);
    EXPECT_EQ(registry.find("top")->mass_mev, 246220.0);
}

TEST(QuarkTable, FactorIsWithinTwoUlpOfThePowerOfTheGoldenRatio) {
    const auto registry = QuarkRegistry::standard_model();
    for (const Expected& row : table) {
        const double factor = registry.find(row.name)->phi_factor;
        const double power = std::pow(1.618033988749895, -row.phi_exponent);
        const auto distance = std::bit_cast<std::int64_t>(factor) - std::bit_cast<std::int64_t>(power);
        EXPECT_LE(std::llabs(distance), 2) << row.name;
    }
}

TEST(QuarkRegistry, SortedNamesAreInByteOrder) {
    EXPECT_EQ(test_support::sorted_names(QuarkRegistry::standard_model()),
              (std::vector<std::string>{"bottom", "charm", "down", "strange", "top", "up"}));
}

TEST(QuarkRegistry, EmptyRegistryHasNothing) {
    const auto registry = QuarkRegistry::new_empty();
    EXPECT_EQ(registry.len(), 0U);
    EXPECT_TRUE(test_support::sorted_names(registry).empty());
    EXPECT_EQ(registry.find("top"), nullptr);
}

TEST(QuarkRegistry, InsertReplacesAndKeepsTheCount) {
    auto registry = QuarkRegistry::standard_model();
    QuarkRecord replacement;
    replacement.name = "top";
    replacement.mass_mev = 1.0;
    replacement.attributes.insert_or_assign("charge_thirds", std::int64_t{2});
    registry.insert(std::move(replacement));
    EXPECT_EQ(registry.len(), 6U);
    EXPECT_EQ(registry.find("top")->mass_mev, 1.0);
    ASSERT_NE(registry.find("top")->attributes.find("charge_thirds"), nullptr);
    EXPECT_EQ(*registry.find("top")->attributes.find("charge_thirds"), 2);
}

TEST(QuarkRegistry, PrefixSortsFirst) {
    auto registry = QuarkRegistry::new_empty();
    for (const char* name : {"topness", "top", "to", "\xC3\xA9"}) {
        QuarkRecord record;
        record.name = name;
        registry.insert(std::move(record));
    }
    EXPECT_EQ(test_support::sorted_names(registry), (std::vector<std::string>{"to", "top", "topness", "\xC3\xA9"}));
}

}  // namespace
}  // namespace orbalin::quarks
