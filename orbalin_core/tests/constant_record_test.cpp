// Records, their copies, status texts and error messages.
#include <gtest/gtest.h>

#include <array>
#include <ostream>
#include <string>
#include <string_view>
#include <system_error>

#include "formulas/constant_record.hpp"
#include "formulas/registry_error.hpp"

namespace orbalin::formulas {
namespace {

using namespace std::string_literals;

TEST(ConstantRecord, DirectIsASeedWithoutDerivationOrUncertainty) {
    const ConstantRecord r = ConstantRecord::direct("n_gen", 3.0, "count");
    EXPECT_EQ(r.name, "n_gen");
    EXPECT_EQ(r.value, 3.0);
    EXPECT_EQ(r.units, "count");
    EXPECT_FALSE(r.uncertainty.has_value());
    EXPECT_EQ(r.status, ConstantStatus::Seed);
    EXPECT_FALSE(r.derivation.has_value());
    EXPECT_TRUE(r.dependencies.empty());
}

TEST(ConstantRecord, DerivedIsPendingWithZeroValueAndDependenciesInOrder) {
    constexpr std::array<std::string_view, 2> deps{"chi_eff", "b3"};
    const ConstantRecord r = ConstantRecord::derived("topo_gen_check", "chi_eff / b3", "count", deps);
    EXPECT_EQ(r.value, 0.0);
    EXPECT_EQ(r.status, ConstantStatus::Pending);
    ASSERT_TRUE(r.derivation.has_value());
    EXPECT_EQ(*r.derivation, "chi_eff / b3");
    EXPECT_EQ(r.dependencies, (std::vector<std::string>{"chi_eff", "b3"}));
}

TEST(ConstantRecord, DerivedWithEmptyInputsKeepsAPresentEmptyDerivation) {
    const ConstantRecord r = ConstantRecord::derived("x", "", "", {});
    ASSERT_TRUE(r.derivation.has_value());
    EXPECT_TRUE(r.derivation->empty());
    EXPECT_TRUE(r.dependencies.empty());
}

TEST(ConstantRecord, NamesKeepEmbeddedNulAndBytesVerbatim) {
    const std::string name("a\0b ", 4);
    const ConstantRecord r = ConstantRecord::direct(name, 1.0, "\xC3\xA9");
    EXPECT_EQ(r.name.size(), 4U);
    EXPECT_EQ(r.name, name);
    EXPECT_EQ(r.units, "\xC3\xA9");
}

TEST(ConstantRecord, CopyIsDeepAndEqualFieldByField) {
    constexpr std::array<std::string_view, 1> deps{"n_gen"};
    ConstantRecord original = ConstantRecord::derived("n_gen_sq", "n_gen * n_gen", "count", deps);
    ConstantRecord copy = original;
    EXPECT_EQ(copy, original);

    copy.name[0] = 'X';
    copy.derivation->append(" + 1");
    copy.dependencies[0] = "changed";
    copy.dependencies.emplace_back("more");
    EXPECT_EQ(original.name, "n_gen_sq");
    EXPECT_EQ(*original.derivation, "n_gen * n_gen");
    EXPECT_EQ(original.dependencies, std::vector<std::string>{"n_gen"});

    const ConstantRecord survivor = [] {
        const ConstantRecord doomed = ConstantRecord::direct("phi", 1.618033988749895, "dimensionless");
        return ConstantRecord(doomed);
    }();
    EXPECT_EQ(survivor.name, "phi");
}

TEST(ConstantRecord, AbsentAndZeroUncertaintyAreDifferentRecords) {
    ConstantRecord absent = ConstantRecord::direct("x", 1.0, "count");
    ConstantRecord zero = absent;
    zero.uncertainty = 0.0;
    EXPECT_NE(absent, zero);
}

TEST(ConstantStatus, DisplayTextIsTheBareName) {
    EXPECT_EQ(display_text(ConstantStatus::Seed), "Seed");
    EXPECT_EQ(display_text(ConstantStatus::Cached), "Cached");
    EXPECT_EQ(display_text(ConstantStatus::Pending), "Pending");
    EXPECT_EQ(display_text(ConstantStatus::External), "External");
}

struct MessageCase {
    RegistryError error;
    RegistryError::Kind kind;
    std::string message;
};

void PrintTo(const MessageCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.message);
}

class RegistryErrorMessage : public ::testing::TestWithParam<MessageCase> {};

std::string case_label(const ::testing::TestParamInfo<MessageCase>& info) {
    return "case" + std::to_string(info.index);
}

TEST_P(RegistryErrorMessage, IsTheFixedTextAroundTheCarriedText) {
    EXPECT_EQ(GetParam().error.kind(), GetParam().kind);
    EXPECT_EQ(GetParam().error.message(), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    EveryKind, RegistryErrorMessage,
    ::testing::Values(
        MessageCase{RegistryError::not_found("n_gen"), RegistryError::Kind::NotFound,
                    "constant `n_gen` not found in registry"},
        MessageCase{RegistryError::derivation_not_implemented("n_gen_sq"),
                    RegistryError::Kind::DerivationNotImplemented,
                    "derivation of `n_gen_sq` is not yet implemented in orbalin_core"},
        MessageCase{RegistryError::load_failed("seed.json", std::make_error_code(std::errc::no_such_file_or_directory)),
                    RegistryError::Kind::LoadFailed,
                    "failed to load constants from `seed.json`: " +
                        std::make_error_code(std::errc::no_such_file_or_directory).message()},
        MessageCase{RegistryError::invalid_schema("seed.json"), RegistryError::Kind::InvalidSchema,
                    "invalid JSON schema in `seed.json`"},
        MessageCase{RegistryError::cyclic_derivation("a"), RegistryError::Kind::CyclicDerivation,
                    "cyclic derivation involving `a`"},
        MessageCase{RegistryError::expression_parse("x", "unexpected `)`"), RegistryError::Kind::ExpressionParse,
                    "expression parse error in `x`: unexpected `)`"}),
    case_label);

// Carried texts go in verbatim: no quoting, escaping or trimming.
INSTANTIATE_TEST_SUITE_P(
    VerbatimNames, RegistryErrorMessage,
    ::testing::Values(MessageCase{RegistryError::not_found(""), RegistryError::Kind::NotFound,
                                  "constant `` not found in registry"},
                      MessageCase{RegistryError::not_found("a`b"), RegistryError::Kind::NotFound,
                                  "constant `a`b` not found in registry"},
                      MessageCase{RegistryError::not_found(" b3 \n"), RegistryError::Kind::NotFound,
                                  "constant ` b3 \n` not found in registry"},
                      MessageCase{RegistryError::not_found(std::string_view("n\0g", 3)), RegistryError::Kind::NotFound,
                                  "constant `n\0g` not found in registry"s}),
    case_label);

}  // namespace
}  // namespace orbalin::formulas
