// The registry's storage against a model: random inserts, replacements and
// lookups checked against std::map, at shard counts from one (everything in
// one table, which then grows many times) to a large host's 1024.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "common/flat_text_map.hpp"
#include "formulas/formulas_registry.hpp"

namespace orbalin {
namespace {

// Names from a small alphabet, so that prefixes, NULs, high bytes and
// repeats all occur; lengths cross the hash's 8- and 16-byte steps.
std::string random_name(std::mt19937_64& random) {
    static constexpr char alphabet[] = {'a', 'b', '_', '\0', '\xff', 'A'};
    const std::size_t length = random() % 40;
    std::string name;
    for (std::size_t i = 0; i < length; ++i) {
        name.push_back(alphabet[random() % sizeof alphabet]);
    }
    return name;
}

class RegistryAgainstModel : public ::testing::TestWithParam<std::size_t> {};

TEST_P(RegistryAgainstModel, AgreesAfterEveryKindOfChange) {
    std::mt19937_64 random(GetParam());
    formulas::FormulasRegistry registry(GetParam());
    std::map<std::string, double> model;
    for (int step = 0; step < 3000; ++step) {
        const std::string name = random_name(random);
        const auto value = static_cast<double>(step);
        const auto previous = registry.insert(formulas::ConstantRecord::direct(name, value, "u"));
        const auto modelled = model.find(name);
        ASSERT_EQ(previous.has_value(), modelled != model.end()) << step;
        if (previous) {
            EXPECT_EQ(previous->value, modelled->second);
            EXPECT_EQ(previous->name, name);
        }
        model[name] = value;
        const std::string probe = random_name(random);
        const auto found = registry.get(probe);
        const auto expected = model.find(probe);
        ASSERT_EQ(found.has_value(), expected != model.end()) << step;
        if (found) {
            EXPECT_EQ(found.value().value, expected->second);
        } else {
            EXPECT_EQ(found.error().message(), "constant `" + probe + "` not found in registry");
        }
    }
    EXPECT_EQ(registry.len(), model.size());
    std::vector<std::string> names;
    for (const auto& [name, value] : model) {
        names.push_back(name);
        EXPECT_EQ(registry.get(name).value().value, value);
    }
    EXPECT_EQ(registry.sorted_names(), names);  // std::map orders std::string bytewise, a prefix first
    EXPECT_EQ(registry.sorted_name_views().size(), names.size());
}

INSTANTIATE_TEST_SUITE_P(ShardCounts, RegistryAgainstModel, ::testing::Values(1, 2, 8, 1024));

TEST(RegistryStorage, ManyRecordsInOneShardKeepEveryText) {
    formulas::FormulasRegistry registry(1);
    const std::vector<std::string_view> dependencies{"n_gen", "", "phi"};
    for (int i = 0; i < 500; ++i) {
        const std::string name = "c" + std::to_string(i);
        registry.insert(formulas::ConstantRecord::derived(name, name + " * 2", "unit " + name, dependencies));
    }
    for (int i = 0; i < 500; ++i) {
        const std::string name = "c" + std::to_string(i);
        const auto record = registry.get(name).value();
        EXPECT_EQ(record.derivation, name + " * 2");
        EXPECT_EQ(record.units, "unit " + name);
        EXPECT_EQ(record.dependencies, (std::vector<std::string>{"n_gen", "", "phi"}));
    }
    EXPECT_GT(registry.storage_blocks(), 1U);  // grew past its first block and kept everything
}

TEST(RegistryStorage, AReplacedRecordKeepsTheStoredKey) {
    formulas::FormulasRegistry registry(4);
    registry.insert(formulas::ConstantRecord::direct("k", 1.0, "a"));
    const std::vector<std::string_view> before = registry.sorted_name_views();
    registry.insert(formulas::ConstantRecord::direct("k", 2.0, "b"));
    const std::vector<std::string_view> after = registry.sorted_name_views();
    ASSERT_EQ(after.size(), 1U);
    EXPECT_EQ(after[0].data(), before[0].data());  // the same stored bytes, so earlier views stay valid
    EXPECT_EQ(registry.get("k").value().units, "b");
}

TEST(FlatTextMap, AgreesWithAModel) {
    std::mt19937_64 random(7);
    common::FlatTextMap<int> map;
    std::map<std::string, int> model;
    for (int step = 0; step < 2000; ++step) {
        const std::string key = random_name(random);
        EXPECT_EQ(map.insert_or_assign(key, int{step}), model.count(key) == 0);
        model[key] = step;
        const std::string probe = random_name(random);
        const int* found = map.find(probe);
        const auto expected = model.find(probe);
        ASSERT_EQ(found != nullptr, expected != model.end());
        if (found != nullptr) {
            EXPECT_EQ(*found, expected->second);
        }
    }
    EXPECT_EQ(map.size(), model.size());
    std::size_t visited = 0;
    map.for_each([&](std::string_view key, int value) {
        ++visited;
        EXPECT_EQ(model.at(std::string(key)), value);
    });
    EXPECT_EQ(visited, model.size());
}

}  // namespace
}  // namespace orbalin
