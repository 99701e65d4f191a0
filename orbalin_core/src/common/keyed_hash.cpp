#include "common/keyed_hash.hpp"

#include <sys/random.h>

#include <atomic>
#include <bit>
#include <chrono>
#include <cstring>

namespace orbalin::common {
namespace {

// Odd constants with well-mixed bits (the golden ratio's and two others), so
// that no input word can cancel a key word to zero except by chance.
constexpr std::uint64_t golden = 0x9e3779b97f4a7c15ULL;
constexpr std::uint64_t mixer_a = 0xbf58476d1ce4e5b9ULL;
constexpr std::uint64_t mixer_b = 0x94d049bb133111ebULL;

// Both halves of the 128-bit product folded together: every input bit
// reaches every output bit of the high half, and the low half keeps the rest.
// GCC and Clang both have the 128-bit type; __extension__ tells -Wpedantic so.
__extension__ using uint128 = unsigned __int128;

std::uint64_t fold_multiply(std::uint64_t a, std::uint64_t b) noexcept {
    const uint128 product = static_cast<uint128>(a) * b;
    return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

// A little-endian word of sizeof(Word) bytes, widened to 64 bits.
template <class Word>
std::uint64_t load_le(const char* bytes) noexcept {
    Word word = 0;
    std::memcpy(&word, bytes, sizeof word);
    if constexpr (std::endian::native == std::endian::big) {
        if constexpr (sizeof word == 8) {
            word = __builtin_bswap64(word);
        } else {
            word = __builtin_bswap32(word);
        }
    }
    return word;
}

std::uint64_t load_le64(const char* bytes) noexcept {
    return load_le<std::uint64_t>(bytes);
}

std::uint64_t load_le32(const char* bytes) noexcept {
    return load_le<std::uint32_t>(bytes);
}

// 0 to 7 bytes as one word. Loads may overlap: the length is mixed in
// separately, so inputs of different lengths still hash apart.
std::uint64_t load_short(const char* bytes, std::size_t size) noexcept {
    if (size >= 4) {
        return load_le32(bytes) | (load_le32(bytes + size - 4) << 32);
    }
    if (size == 0) {
        return 0;
    }
    const auto byte = [bytes](std::size_t at) {
        return static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[at]));
    };
    return (byte(0) << 16) | (byte(size / 2) << 8) | byte(size - 1);
}

// The process secret: 16 bytes from getrandom(2). Should the kernel refuse
// (a seccomp sandbox, a very old kernel), the clock and an address still give
// keys that differ between runs; hash order is never observable, so weaker
// keys cost spread, never correctness.
HashKey draw_process_secret() noexcept {
    HashKey secret;
    if (getrandom(&secret, sizeof secret, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof secret)) {
        return secret;
    }
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    secret.k0 = static_cast<std::uint64_t>(ticks) ^ golden;
    secret.k1 = reinterpret_cast<std::uintptr_t>(&secret) ^ mixer_a;
    return secret;
}

// SplitMix64's finaliser: a bijection, so distinct counters give distinct words.
std::uint64_t finalise(std::uint64_t z) noexcept {
    z = (z ^ (z >> 30)) * mixer_a;
    z = (z ^ (z >> 27)) * mixer_b;
    return z ^ (z >> 31);
}

}  // namespace

std::uint64_t keyed_mix_hash(HashKey key, std::string_view bytes) noexcept {
    const char* at = bytes.data();
    const std::size_t size = bytes.size();
    // The length enters by addition to a key word: how the carries run
    // depends on the key, so inputs of different lengths whose words differ
    // by a known pattern still hash apart.
    std::uint64_t state = key.k1 + static_cast<std::uint64_t>(size);
    std::uint64_t low = 0;
    std::uint64_t high = 0;
    if (size <= 16) {
        // One multiplication: the two overlapping loads cover every byte.
        if (size >= 8) {
            low = load_le64(at);
            high = load_le64(at + size - 8);
        } else {
            low = load_short(at, size);
        }
    } else {
        std::size_t left = size;
        while (left > 16) {
            state = fold_multiply(load_le64(at) ^ key.k0, load_le64(at + 8) ^ state);
            at += 16;
            left -= 16;
        }
        low = load_le64(at + left - 16);  // the last 16 bytes, overlapping the words already mixed
        high = load_le64(at + left - 8);
    }
    return fold_multiply(low ^ key.k0, high ^ state);
}

HashKey fresh_hash_key() noexcept {
    static const HashKey secret = draw_process_secret();  // magic static: thread-safe, once
    static std::atomic<std::uint64_t> draws{0};
    const std::uint64_t n = draws.fetch_add(1, std::memory_order_relaxed);
    // Two bijections of the counter under the secret: keys never repeat
    // within a process, and without the secret they cannot be predicted.
    return HashKey{finalise(secret.k0 + n * golden), finalise(secret.k1 ^ finalise(n + golden))};
}

}  // namespace orbalin::common
