// The one-word reader-writer lock and the arena under the registry.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/arena.hpp"
#include "common/reader_writer_lock.hpp"

namespace orbalin::common {
namespace {

// A copy of `text` in `arena`, through the allocation path named by `alone`.
std::string_view copy_into(Arena& arena, std::string_view text, bool alone) {
    if (text.empty()) {
        return {};
    }
    auto* at = static_cast<char*>(alone ? arena.allocate_alone(text.size()) : arena.allocate(text.size()));
    std::memcpy(at, text.data(), text.size());
    return {at, text.size()};
}

TEST(ReaderWriterLock, ReadersShareWritersExclude) {
    ReaderWriterLock lock;
    lock.lock_shared();
    EXPECT_TRUE(lock.try_lock_shared());  // a second reader gets in
    EXPECT_FALSE(lock.try_lock());        // a writer does not
    lock.unlock_shared();
    lock.unlock_shared();
    EXPECT_TRUE(lock.try_lock());
    EXPECT_FALSE(lock.try_lock_shared());
    EXPECT_FALSE(lock.try_lock());
    lock.unlock();
    EXPECT_TRUE(lock.try_lock_shared());
    lock.unlock_shared();
}

TEST(ReaderWriterLock, AWaitingWriterGetsInWhenTheLastReaderLeaves) {
    ReaderWriterLock lock;
    lock.lock_shared();
    std::atomic<bool> written{false};
    std::thread writer([&] {
        const std::unique_lock guard(lock);
        written = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // long enough for the writer to be sleeping
    EXPECT_FALSE(written.load());
    lock.unlock_shared();
    writer.join();
    EXPECT_TRUE(written.load());
}

TEST(ReaderWriterLock, AWaitingReaderGetsInWhenTheWriterLeaves) {
    ReaderWriterLock lock;
    lock.lock();
    std::atomic<bool> read{false};
    std::thread reader([&] {
        const std::shared_lock guard(lock);
        read = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(read.load());
    lock.unlock();
    reader.join();
    EXPECT_TRUE(read.load());
}

// Writers increment a pair of counters that readers must always see equal.
TEST(ReaderWriterLock, NoReaderSeesAHalfDoneWrite) {
    ReaderWriterLock lock;
    std::uint64_t first = 0;
    std::uint64_t second = 0;
    std::atomic<int> torn{0};
    std::vector<std::thread> threads;
    threads.reserve(4);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, writer = t < 2] {
            for (int i = 0; i < 20000; ++i) {
                if (writer) {
                    const std::unique_lock guard(lock);
                    ++first;
                    ++second;
                } else {
                    const std::shared_lock guard(lock);
                    if (first != second) {
                        ++torn;
                    }
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(torn.load(), 0);
    EXPECT_EQ(first, 40000U);
    EXPECT_EQ(second, 40000U);
}

TEST(Arena, BlocksAreAlignedAndEarlierDataSurvivesGrowth) {
    Arena arena(64);
    std::vector<std::string_view> copies;
    for (int i = 0; i < 200; ++i) {
        auto* word = static_cast<std::uint64_t*>(arena.allocate(sizeof(std::uint64_t)));
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(word) % alignof(std::uint64_t), 0U);
        *word = static_cast<std::uint64_t>(i);
        copies.push_back(copy_into(arena, "text " + std::to_string(i), false));
    }
    EXPECT_GT(arena.block_count(), 1U);
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(copies[static_cast<std::size_t>(i)], "text " + std::to_string(i));
    }
    auto* large = static_cast<char*>(arena.allocate(10000));  // larger than any block so far
    large[9999] = 'x';
    EXPECT_TRUE(copy_into(arena, "", true).empty());
}

// Writers of different shards allocate at once: no two may get the same bytes.
TEST(Arena, ConcurrentAllocationsNeverOverlap) {
    Arena arena(256);  // small, so that the threads also race to add blocks
    constexpr int threads = 4;
    constexpr int per_thread = 5000;
    std::vector<std::vector<std::string_view>> made(threads);
    std::vector<std::thread> workers;
    workers.reserve(threads);
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&arena, &made, t] {
            for (int i = 0; i < per_thread; ++i) {
                made[static_cast<std::size_t>(t)].push_back(
                    copy_into(arena, std::to_string(t) + ":" + std::to_string(i), false));
            }
        });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    for (int t = 0; t < threads; ++t) {
        for (int i = 0; i < per_thread; ++i) {
            ASSERT_EQ(made[static_cast<std::size_t>(t)][static_cast<std::size_t>(i)],
                      std::to_string(t) + ":" + std::to_string(i));
        }
    }
}

TEST(Arena, MovingHandsOverEveryBlock) {
    Arena source(16);
    const std::string_view text = copy_into(source, "kept across the move", true);
    Arena target = std::move(source);
    EXPECT_EQ(text, "kept across the move");
    EXPECT_EQ(target.block_count(), 1U);
    // NOLINTNEXTLINE(bugprone-use-after-move,clang-analyzer-cplusplus.Move): what a move leaves is the point
    EXPECT_EQ(source.block_count(), 0U);
}

}  // namespace
}  // namespace orbalin::common
