// How many heap allocations building a registry costs. The global operator
// new of this test binary counts while a scope asks it to; everything else
// in the process allocates as usual.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "formulas/datasheet.hpp"
#include "formulas/formulas_registry.hpp"
#include "quarks/quark_registry.hpp"

namespace {

// This is the allocator itself, so it manages memory by hand.
// NOLINTBEGIN(cppcoreguidelines-no-malloc)
thread_local bool counting = false;
thread_local std::size_t allocations = 0;

void* allocate(std::size_t size) {
    if (counting) {
        ++allocations;
    }
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}

// Counts the allocations made while it lives, on this thread.
class AllocationCounter {
public:
    AllocationCounter() {
        allocations = 0;
        counting = true;
    }
    ~AllocationCounter() { counting = false; }
    AllocationCounter(const AllocationCounter&) = delete;
    AllocationCounter& operator=(const AllocationCounter&) = delete;
    AllocationCounter(AllocationCounter&&) = delete;
    AllocationCounter& operator=(AllocationCounter&&) = delete;

    [[nodiscard]] static std::size_t count() { return allocations; }
};

}  // namespace

void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    if (counting) {
        ++allocations;
    }
    const auto align = static_cast<std::size_t>(alignment);
    if (void* memory = std::aligned_alloc(align, (size + align - 1) / align * align)) {
        return memory;
    }
    throw std::bad_alloc();
}
void operator delete(void* memory, std::align_val_t /*alignment*/) noexcept {
    std::free(memory);
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete[](void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t /*size*/) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, std::size_t /*size*/) noexcept {
    std::free(memory);
}
// NOLINTEND(cppcoreguidelines-no-malloc)

namespace orbalin {
namespace {

// The wrapper object itself is one more allocation, by the interpreter.
constexpr std::size_t registry_allocation_budget = 4;

TEST(Allocations, BuildingTheConstantsRegistry) {
    std::size_t count = 0;
    {
        const AllocationCounter counter;
        const auto registry = formulas::FormulasRegistry::new_seeded();
        count = AllocationCounter::count();
    }
    std::printf("FormulasRegistry::new_seeded(): %zu heap allocations (%zu shards)\n", count,
                formulas::FormulasRegistry::new_seeded().shard_count());
    EXPECT_LE(count, registry_allocation_budget);
}

// The storage estimate must hold on any host, whatever the shard count.
class AllocationsAtShardCount : public ::testing::TestWithParam<std::size_t> {};

TEST_P(AllocationsAtShardCount, BuildingTakesOneBlock) {
    std::size_t count = 0;
    {
        const AllocationCounter counter;
        const auto registry = formulas::FormulasRegistry::seeded(GetParam());
        count = AllocationCounter::count();
    }
    EXPECT_EQ(count, 1U);
}

INSTANTIATE_TEST_SUITE_P(ShardCounts, AllocationsAtShardCount, ::testing::Values(1, 2, 8, 64, 1024, 4096));

TEST(Allocations, OneDatasheetLookupAndWrite) {
    const auto registry = formulas::FormulasRegistry::new_seeded();
    std::size_t count = 0;
    {
        const AllocationCounter counter;
        formulas::RecordCopy copy;
        ASSERT_FALSE(registry.get("n_gen", copy).has_value());
        jsontext::TextBuffer text;
        EXPECT_FALSE(formulas::write_datasheet(copy.record(), text).has_value());
        count = AllocationCounter::count();
    }
    EXPECT_EQ(count, 0U);  // the record copy and the text both stay in place
}

// A registry's arena grows by doubling blocks: a registry given many records
// takes a handful of blocks, not one per record. Records are made before
// counting and moved in, so only the arena allocates.
TEST(Allocations, StorageGrowsInDoublingBlocks) {
    std::vector<formulas::ConstantRecord> records;
    records.reserve(500);
    for (int i = 0; i < 500; ++i) {
        // Appended rather than "c" + ...: GCC 12 at -O3 warns falsely (-Wrestrict) on that operator+.
        const std::string name = std::string(1, 'c').append(std::to_string(i));
        records.push_back(formulas::ConstantRecord::direct(name, 1.0, "count"));
    }
    formulas::FormulasRegistry registry(1);
    std::size_t count = 0;
    {
        const AllocationCounter counter;
        for (auto& record : records) {
            registry.insert(std::move(record));
        }
        count = AllocationCounter::count();
    }
    EXPECT_GT(count, 1U);
    EXPECT_LT(count, 16U);
    EXPECT_EQ(registry.len(), 500U);
}

TEST(Allocations, TheStandardModelQuarks) {
    std::size_t count = 0;
    {
        const AllocationCounter counter;
        const auto registry = quarks::QuarkRegistry::standard_model();
        count = AllocationCounter::count();
    }
    std::printf("QuarkRegistry::standard_model(): %zu heap allocations\n", count);
    EXPECT_EQ(count, 1U);  // the map's one block; short names stay in their strings, attribute maps stay empty
}

}  // namespace
}  // namespace orbalin
