// Keyed hashing: keys differ per map, and the hash depends on every byte.
#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/keyed_hash.hpp"

namespace orbalin::common {
namespace {

TEST(KeyedHash, FreshKeysAreDistinct) {
    std::set<std::pair<std::uint64_t, std::uint64_t>> seen;
    for (int i = 0; i < 1000; ++i) {
        const HashKey key = fresh_hash_key();
        EXPECT_TRUE(seen.emplace(key.k0, key.k1).second);
    }
}

TEST(KeyedHash, KeysDrawnFromManyThreadsAtOnceAreDistinct) {
    constexpr int threads = 8;
    constexpr int per_thread = 500;
    std::vector<std::vector<HashKey>> drawn(threads);
    std::vector<std::thread> workers;
    workers.reserve(threads);
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&drawn, t] {
            for (int i = 0; i < per_thread; ++i) {
                drawn[static_cast<std::size_t>(t)].push_back(fresh_hash_key());
            }
        });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    std::set<std::pair<std::uint64_t, std::uint64_t>> seen;
    for (const auto& keys : drawn) {
        for (const HashKey key : keys) {
            seen.emplace(key.k0, key.k1);
        }
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(threads * per_thread));
}

TEST(KeyedHash, KeysDrawnTogetherAreDistinctFromEachOtherAndFromSingleDraws) {
    std::array<HashKey, 7> together;
    fresh_hash_keys(together);
    std::set<std::pair<std::uint64_t, std::uint64_t>> seen;
    for (const HashKey key : together) {
        EXPECT_TRUE(seen.emplace(key.k0, key.k1).second);
    }
    const HashKey single = fresh_hash_key();
    EXPECT_TRUE(seen.emplace(single.k0, single.k1).second);
}

TEST(KeyedHash, SameKeySameHashOtherKeyOtherHash) {
    const HashKey a{1, 2};
    const HashKey b{1, 3};
    EXPECT_EQ(keyed_mix_hash(a, "n_gen"), keyed_mix_hash(a, "n_gen"));
    EXPECT_NE(keyed_mix_hash(a, "n_gen"), keyed_mix_hash(b, "n_gen"));
}

TEST(KeyedHash, EveryByteAndTheLengthCount) {
    const HashKey key{0x0706050403020100, 0x0f0e0d0c0b0a0908};
    std::set<std::uint64_t> hashes;
    // Lengths across the 4-, 8-, 16- and 32-byte steps, trailing NULs, one changed byte.
    for (std::size_t length = 0; length <= 40; ++length) {
        hashes.insert(keyed_mix_hash(key, std::string(length, '\0')));
        std::string text(length, 'a');
        hashes.insert(keyed_mix_hash(key, text));
        if (length > 0) {
            text[length - 1] = '\xff';
            hashes.insert(keyed_mix_hash(key, text));
        }
    }
    EXPECT_EQ(hashes.size(), 41U + 41U + 40U - 1U);  // "" counted once
}

}  // namespace
}  // namespace orbalin::common
