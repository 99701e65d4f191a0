// Shard count: four per processor, rounded up to a power of two.
#include <gtest/gtest.h>

#include <sched.h>

#include <thread>

#include "formulas/formulas_registry.hpp"
#include "formulas/shard_count.hpp"

namespace orbalin::formulas {
namespace {

TEST(ShardCount, SmallestPowerOfTwoAtLeastFourPerProcessor) {
    const std::pair<std::size_t, std::size_t> cases[] = {{0, 4},  {1, 4},  {2, 8},  {3, 16},   {4, 16},
                                                         {5, 32}, {8, 32}, {9, 64}, {64, 256}, {100, 512}};
    for (const auto& [processors, shards] : cases) {
        EXPECT_EQ(shard_count_for(processors), shards) << processors << " processors";
    }
}

TEST(ShardCount, FollowsTheAffinityMaskNotTheMachine) {
    cpu_set_t set;
    CPU_ZERO(&set);
    ASSERT_EQ(sched_getaffinity(0, sizeof set, &set), 0);
    EXPECT_EQ(available_processors(), static_cast<std::size_t>(CPU_COUNT(&set)));
    EXPECT_LE(available_processors(), std::thread::hardware_concurrency());
}

TEST(ShardCount, IsFixedForTheProcess) {
    EXPECT_EQ(process_shard_count(), shard_count_for(available_processors()));
    EXPECT_EQ(FormulasRegistry::new_seeded().shard_count(), process_shard_count());
}

}  // namespace
}  // namespace orbalin::formulas
