#include "common/keyed_hash.hpp"

#include <sys/random.h>

#include <atomic>
#include <bit>
#include <chrono>
#include <cstring>

namespace orbalin::common {
namespace {

constexpr std::uint64_t golden = hash_detail::golden;
constexpr std::uint64_t mixer_a = hash_detail::mixer_a;
constexpr std::uint64_t mixer_b = hash_detail::mixer_b;

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

// Two bijections of the counter under the secret, one per word: keys never
// repeat within a process, and without the secret they cannot be predicted.
// The words step through the counter by different odd constants, so the
// second is no simple function of the first.
HashKey key_number(std::uint64_t n) noexcept {
    static const HashKey secret = draw_process_secret();  // magic static: thread-safe, once
    return HashKey{finalise(secret.k0 + n * golden), finalise(secret.k1 + n * mixer_b)};
}

std::atomic<std::uint64_t> keys_drawn{0};

}  // namespace

HashKey fresh_hash_key() noexcept {
    return key_number(keys_drawn.fetch_add(1, std::memory_order_relaxed));
}

void fresh_hash_keys(std::span<HashKey> keys) noexcept {
    const std::uint64_t first = keys_drawn.fetch_add(keys.size(), std::memory_order_relaxed);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        keys[i] = key_number(first + i);
    }
}

}  // namespace orbalin::common
