// The constants registry: contents, exact lookup, replacement, order, threads.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "formulas/formulas_registry.hpp"
#include "formulas/shard_count.hpp"
#include "support/registry_views.hpp"

namespace orbalin::formulas {
namespace {

const std::vector<std::string> seed_names_in_byte_order{
    "b3",          "chi_eff",        "gamma_em",  "h0_central",  "jc_constant",   "logic_closure",  "m_tau_mev",
    "n_gen",       "n_gen_sq",       "phi",       "roots_total", "sterile_check", "sterile_sector", "topo_gen_check",
    "v_higgs_mev", "visible_sector", "w0_central"};

using test_support::lookup;
using test_support::sorted_names;

ConstantRecord must_get(const FormulasRegistry& registry, std::string_view name) {
    auto found = lookup(registry, name);
    EXPECT_TRUE(found.has_value()) << name;
    return found ? *found : ConstantRecord{};
}

TEST(FormulasRegistry, SeededHoldsSeventeenRecordsWithoutUncertainty) {
    const auto registry = FormulasRegistry::new_seeded();
    EXPECT_EQ(registry.len(), 17U);
    EXPECT_EQ(registry.shard_count(), process_shard_count());
    for (const auto& name : sorted_names(registry)) {
        EXPECT_FALSE(must_get(registry, name).uncertainty.has_value()) << name;
    }
}

TEST(FormulasRegistry, LookupsReturnTheStoredRecords) {
    const auto registry = FormulasRegistry::new_seeded();
    const auto n_gen = must_get(registry, "n_gen");
    EXPECT_EQ(n_gen.value, 3.0);
    EXPECT_EQ(n_gen.status, ConstantStatus::Seed);
    EXPECT_FALSE(n_gen.derivation.has_value());

    const auto n_gen_sq = must_get(registry, "n_gen_sq");
    EXPECT_EQ(n_gen_sq.value, 0.0);
    EXPECT_EQ(n_gen_sq.status, ConstantStatus::Pending);
    EXPECT_EQ(n_gen_sq.derivation, "n_gen * n_gen");
    EXPECT_EQ(n_gen_sq.dependencies, std::vector<std::string>{"n_gen"});

    // Derivations are data only: never evaluated.
    EXPECT_EQ(must_get(registry, "v_higgs_mev").value, 0.0);
    EXPECT_EQ(must_get(registry, "w0_central").derivation, "-1");
    EXPECT_EQ(must_get(registry, "sterile_sector").value, 163.0);
    EXPECT_EQ(must_get(registry, "sterile_check").status, ConstantStatus::Pending);
    EXPECT_EQ(must_get(registry, "roots_total").value, must_get(registry, "logic_closure").value);
}

class MissingName : public ::testing::TestWithParam<std::string> {};

TEST_P(MissingName, IsNotFoundCarryingExactlyTheTextAsked) {
    const auto registry = FormulasRegistry::new_seeded();
    RecordCopy copy;
    const auto error = registry.get(GetParam(), copy);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->kind(), RegistryError::Kind::NotFound);
    EXPECT_EQ(error->subject(), GetParam());
    EXPECT_EQ(registry.len(), 17U);  // a miss leaves the registry as it was
}

INSTANTIATE_TEST_SUITE_P(ExactMatchOnly, MissingName,
                         ::testing::Values(std::string(), std::string("b3 "), std::string(" b3"), std::string("N_GEN"),
                                           std::string("n_ge"), std::string("n_gen_"), std::string("n_gen\0", 6),
                                           std::string("n\0gen", 5), std::string("phi\xCC\x81"),
                                           std::string(1 << 20, 'x')),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(FormulasRegistry, ChangingACopyLeavesTheRegistryAlone) {
    const auto registry = FormulasRegistry::new_seeded();
    {
        auto copy = must_get(registry, "n_gen_sq");
        copy.value = 9.0;
        copy.derivation->clear();
        copy.dependencies.clear();
    }
    const auto again = must_get(registry, "n_gen_sq");
    EXPECT_EQ(again.value, 0.0);
    EXPECT_EQ(again.derivation, "n_gen * n_gen");
    EXPECT_EQ(again.dependencies.size(), 1U);
}

TEST(FormulasRegistry, InsertReplacesUnderTheSameNameAndReturnsTheOld) {
    FormulasRegistry registry(4);
    EXPECT_FALSE(registry.insert(ConstantRecord::direct("k", 1.0, "count")).has_value());
    const auto previous = registry.insert(ConstantRecord::direct("k", 2.0, "MeV"));
    ASSERT_TRUE(previous.has_value());
    EXPECT_EQ(previous->value, 1.0);
    EXPECT_EQ(registry.len(), 1U);
    EXPECT_EQ(must_get(registry, "k").value, 2.0);
    EXPECT_EQ(must_get(registry, "k").units, "MeV");
}

TEST(FormulasRegistry, NamesDifferingOnlyAfterANulAreDistinct) {
    FormulasRegistry registry(4);
    registry.insert(ConstantRecord::direct(std::string("a\0b", 3), 1.0, ""));
    registry.insert(ConstantRecord::direct(std::string("a\0c", 3), 2.0, ""));
    registry.insert(ConstantRecord::direct("a", 3.0, ""));
    EXPECT_EQ(registry.len(), 3U);
    EXPECT_EQ(must_get(registry, std::string_view("a\0c", 3)).value, 2.0);
    EXPECT_EQ(sorted_names(registry), (std::vector<std::string>{"a", std::string("a\0b", 3), std::string("a\0c", 3)}));
}

TEST(FormulasRegistry, SortedNamesAreInByteOrderPrefixFirst) {
    EXPECT_EQ(sorted_names(FormulasRegistry::new_seeded()), seed_names_in_byte_order);

    // Bytes compare unsigned: 0xC3 (a UTF-8 lead byte) after every ASCII letter.
    FormulasRegistry registry(8);
    for (const char* name : {"\xC3\xA9", "z", "ab", "a", "", "B", "a_", "ai"}) {
        registry.insert(ConstantRecord::direct(name, 0.0, ""));
    }
    EXPECT_EQ(sorted_names(registry), (std::vector<std::string>{"", "B", "a", "a_", "ab", "ai", "z", "\xC3\xA9"}));
}

TEST(FormulasRegistry, RegistriesAreIndependentAndListAlike) {
    const auto first = FormulasRegistry::new_seeded();
    auto second = FormulasRegistry::new_seeded();
    second.insert(ConstantRecord::direct("extra", 1.0, ""));
    EXPECT_EQ(first.len(), 17U);
    EXPECT_EQ(second.len(), 18U);
    EXPECT_EQ(sorted_names(first), sorted_names(FormulasRegistry::new_seeded()));
}

TEST(FormulasRegistry, SurvivesBeingMoved) {
    auto source = FormulasRegistry::new_seeded();
    const FormulasRegistry moved = std::move(source);
    EXPECT_EQ(moved.len(), 17U);
    EXPECT_EQ(must_get(moved, "b3").value, 24.0);
}

TEST(FormulasRegistryThreads, ManyReadersOfOneRegistryAgree) {
    const auto registry = FormulasRegistry::new_seeded();
    constexpr int readers = 8;
    constexpr int rounds = 2000;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    threads.reserve(readers);
    for (int t = 0; t < readers; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < rounds; ++i) {
                const auto& name = seed_names_in_byte_order[static_cast<std::size_t>(i + t) % 17];
                const auto found = lookup(registry, name);
                if (!found || found->name != name) {
                    ++failures;
                }
                if (lookup(registry, "missing").has_value() || registry.len() != 17U) {
                    ++failures;
                }
                if (i % 100 == 0 && sorted_names(registry) != seed_names_in_byte_order) {
                    ++failures;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
}

TEST(FormulasRegistryThreads, WritersOnSomeShardsReadersOnOthers) {
    FormulasRegistry registry(16);
    constexpr int writers = 4;
    constexpr int per_writer = 500;
    std::vector<std::thread> threads;
    threads.reserve(writers);
    for (int w = 0; w < writers; ++w) {
        threads.emplace_back([&, w] {
            for (int i = 0; i < per_writer; ++i) {
                std::string name("w");  // built by append: GCC 12 misreports operator+ (-Wrestrict, PR 105651)
                name.append(std::to_string(w)).append(1, '_').append(std::to_string(i));
                registry.insert(ConstantRecord::direct(name, static_cast<double>(i), ""));
                registry.insert(ConstantRecord::direct(name, static_cast<double>(i + 1), ""));
            }
        });
    }
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done.load()) {
            const auto n = registry.len();
            EXPECT_LE(n, static_cast<std::uint64_t>(writers * per_writer));
            (void)sorted_names(registry);
        }
    });
    for (auto& thread : threads) {
        thread.join();
    }
    done = true;
    reader.join();
    EXPECT_EQ(registry.len(), static_cast<std::uint64_t>(writers * per_writer));
    EXPECT_EQ(must_get(registry, "w3_499").value, 500.0);
}

}  // namespace
}  // namespace orbalin::formulas
