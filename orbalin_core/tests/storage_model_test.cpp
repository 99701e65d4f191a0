// The registry's storage against a model: random inserts, replacements and
// lookups checked against std::map, at shard counts from one (everything in
// one table, which then grows many times) to a large host's 1024. Names come
// in three shapes: short ones from a small alphabet, long ones (past the
// hash's 16- and 32-byte steps), and ones sharing their first 8 bytes, which
// the listing's sort must tell apart by their later bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "common/byte_order.hpp"
#include "common/flat_text_map.hpp"
#include "formulas/formulas_registry.hpp"
#include "support/registry_model.hpp"
#include "support/registry_views.hpp"

namespace orbalin {
namespace {

const std::string long_text(70, 'L');

// Names from a small alphabet, so that prefixes, NULs, high bytes and
// repeats all occur; lengths cross the hash's 8- and 16-byte steps. One in
// three shares the 8-byte stem "sterile_" (or a prefix of it), one in six
// runs to 100 bytes.
std::string random_name(std::mt19937_64& random) {
    static constexpr char alphabet[] = {'a', 'b', '_', '\0', '\xff', 'A'};
    const std::uint64_t shape = random() % 6;
    std::string name = shape < 2 ? std::string("sterile_").substr(0, random() % 9) : std::string();
    const std::size_t length = shape == 5 ? random() % 100 : random() % 40;
    for (std::size_t i = 0; i < length; ++i) {
        name.push_back(alphabet[random() % sizeof alphabet]);
    }
    return name;
}

class RegistryAgainstModel : public ::testing::TestWithParam<std::size_t> {};

TEST_P(RegistryAgainstModel, AgreesAfterEveryKindOfChange) {
    std::mt19937_64 random(GetParam());
    model_check::RegistryModel model(GetParam());
    for (int step = 0; step < 3000; ++step) {
        const std::string name = random_name(random);
        ASSERT_EQ(model.insert(formulas::ConstantRecord::direct(name, static_cast<double>(step), name + "u")), "")
            << step;
        ASSERT_EQ(model.look_up(random_name(random)), "") << step;
    }
    EXPECT_EQ(model.whole(), "");
}

INSTANTIATE_TEST_SUITE_P(ShardCounts, RegistryAgainstModel, ::testing::Values(1, 2, 8, 64, 128, 1024));

// Every field survives the trip into storage and out, and a replacement hands
// back the record it displaced, field for field.
TEST(RegistryStorage, RecordsComeBackFieldForField) {
    const std::vector<std::string_view> none;
    const std::vector<std::string_view> some{"n_gen", "", std::string_view("a\0b", 3), std::string_view(long_text)};
    formulas::ConstantRecord with_everything = formulas::ConstantRecord::derived("x", long_text, "u", some);
    with_everything.uncertainty = -0.0;
    with_everything.value = -2.5;
    formulas::ConstantRecord empty_derivation = formulas::ConstantRecord::derived("x", "", "", none);
    empty_derivation.status = formulas::ConstantStatus::External;
    const formulas::ConstantRecord cases[] = {
        formulas::ConstantRecord::direct("x", 3.0, "count"),
        formulas::ConstantRecord::direct("x", 1e300, std::string(300, 'u')),
        with_everything,
        empty_derivation,
    };
    for (std::size_t shards : {1U, 64U, 1024U}) {
        formulas::FormulasRegistry registry(shards);
        std::optional<formulas::ConstantRecord> before;
        formulas::RecordCopy copy;  // reused: each lookup replaces what it held
        for (const auto& record : cases) {
            EXPECT_EQ(registry.insert(record), before);
            ASSERT_FALSE(registry.get("x", copy).has_value());
            EXPECT_EQ(copy.record().to_record(), record);  // held in place or, for the long one, on the heap
            before = record;
        }
        EXPECT_EQ(registry.len(), 1U);
        EXPECT_TRUE(registry.get("y", copy).has_value());
        EXPECT_EQ(copy.record().to_record(), cases[std::size(cases) - 1]);  // a miss leaves the copy alone
    }
}

TEST(RegistryStorage, ManyRecordsInOneShardKeepEveryText) {
    formulas::FormulasRegistry registry(1);
    const std::vector<std::string_view> dependencies{"n_gen", "", "phi"};
    for (int i = 0; i < 500; ++i) {
        const std::string name = "c" + std::to_string(i);
        registry.insert(formulas::ConstantRecord::derived(name, name + " * 2", "unit " + name, dependencies));
    }
    for (int i = 0; i < 500; ++i) {
        const std::string name = "c" + std::to_string(i);
        const auto record = test_support::lookup(registry, name).value();
        EXPECT_EQ(record.derivation, name + " * 2");
        EXPECT_EQ(record.units, "unit " + name);
        EXPECT_EQ(record.dependencies, (std::vector<std::string>{"n_gen", "", "phi"}));
    }
}

TEST(RegistryStorage, ListedNamesOutliveAReplacement) {
    formulas::FormulasRegistry registry(4);
    registry.insert(formulas::ConstantRecord::direct("k", 1.0, "a"));
    const std::vector<std::string_view> before = registry.sorted_name_views();
    registry.insert(formulas::ConstantRecord::direct("k", 2.0, "b"));
    EXPECT_EQ(test_support::sorted_names(registry), std::vector<std::string>{"k"});
    ASSERT_EQ(before.size(), 1U);
    EXPECT_EQ(before[0], "k");  // the replaced record stays in the arena, and with it the name viewed
    EXPECT_EQ(test_support::lookup(registry, "k").value().units, "b");
}

// The listing's sort against std::sort on std::string (bytewise, a prefix
// first): short lists go through the insertion sort, long ones through
// std::stable_sort, and runs of equal leading bytes of every length.
class SortByBytes : public ::testing::TestWithParam<std::size_t> {};

TEST_P(SortByBytes, AgreesWithStdSort) {
    std::mt19937_64 random(GetParam());
    for (int round = 0; round < 50; ++round) {
        std::set<std::string> distinct;
        while (distinct.size() < GetParam()) {
            distinct.insert(random_name(random));
        }
        std::vector<std::string> shuffled(distinct.begin(), distinct.end());
        std::shuffle(shuffled.begin(), shuffled.end(), random);
        std::vector<std::string_view> views(shuffled.begin(), shuffled.end());
        common::sort_by_bytes(views);
        ASSERT_EQ(std::vector<std::string>(views.begin(), views.end()),
                  std::vector<std::string>(distinct.begin(), distinct.end()));
    }
}

INSTANTIATE_TEST_SUITE_P(ListLengths, SortByBytes, ::testing::Values(0, 1, 2, 17, 32, 33, 300));

TEST(SortByBytes, LeadingBytesOrderAsTheBytesDo) {
    const std::vector<std::string> ordered{"",
                                           std::string(1, '\0'),
                                           std::string("\0\0", 2),
                                           "a",
                                           "ab",
                                           "abcd",
                                           "abcdefg",
                                           "abcdefgh",
                                           "a\xff",
                                           "b",
                                           "\x7f",
                                           "\x80",
                                           "\xff\xff\xff\xff\xff\xff\xff\xff"};
    for (std::size_t i = 1; i < ordered.size(); ++i) {
        EXPECT_LE(common::leading_bytes(ordered[i - 1]), common::leading_bytes(ordered[i])) << i;
    }
    EXPECT_EQ(common::leading_bytes("abcdefgh"), common::leading_bytes("abcdefghij"));
    EXPECT_EQ(common::leading_bytes("abc"), 0x6162630000000000U);
    EXPECT_EQ(common::leading_bytes("abcdef"), 0x6162636465660000U);
}

TEST(FlatTextMap, AgreesWithAModel) {
    std::mt19937_64 random(7);
    common::FlatTextMap<int> map;
    std::map<std::string, int> model;
    std::map<std::string, int> first_step;
    for (int step = 0; step < 2000; ++step) {
        const std::string key = random_name(random);
        first_step.emplace(key, step);
        EXPECT_EQ(map.insert_or_assign(key, int{step}), !model.contains(key));
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
    int last_first_step = -1;
    map.for_each([&](std::string_view key, int value) {
        ++visited;
        EXPECT_EQ(model.at(std::string(key)), value);
        EXPECT_GT(first_step.at(std::string(key)), last_first_step);  // insertion order
        last_first_step = first_step.at(std::string(key));
    });
    EXPECT_EQ(visited, model.size());
}

}  // namespace
}  // namespace orbalin
