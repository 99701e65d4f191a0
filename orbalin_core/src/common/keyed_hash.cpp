#include "common/keyed_hash.hpp"

#include <sys/random.h>

#include <atomic>
#include <bit>
#include <chrono>
#include <cstring>

namespace orbalin::common {
namespace {

struct SipState {
    std::uint64_t v0;
    std::uint64_t v1;
    std::uint64_t v2;
    std::uint64_t v3;

    explicit SipState(HashKey key) noexcept
        : v0(key.k0 ^ 0x736f6d6570736575ULL),
          v1(key.k1 ^ 0x646f72616e646f6dULL),
          v2(key.k0 ^ 0x6c7967656e657261ULL),
          v3(key.k1 ^ 0x7465646279746573ULL) {}

    void round() noexcept {
        v0 += v1;
        v1 = std::rotl(v1, 13);
        v1 ^= v0;
        v0 = std::rotl(v0, 32);
        v2 += v3;
        v3 = std::rotl(v3, 16);
        v3 ^= v2;
        v0 += v3;
        v3 = std::rotl(v3, 21);
        v3 ^= v0;
        v2 += v1;
        v1 = std::rotl(v1, 17);
        v1 ^= v2;
        v2 = std::rotl(v2, 32);
    }

    void absorb(std::uint64_t word) noexcept {
        v3 ^= word;
        round();
        v0 ^= word;
    }

    std::uint64_t finish() noexcept {
        v2 ^= 0xff;
        round();
        round();
        round();
        return v0 ^ v1 ^ v2 ^ v3;
    }
};

std::uint64_t load_le64(const char* bytes) noexcept {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    if constexpr (std::endian::native == std::endian::big) {
        word = __builtin_bswap64(word);
    }
    return word;
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
    secret.k0 = static_cast<std::uint64_t>(ticks) ^ 0x9e3779b97f4a7c15ULL;
    secret.k1 = reinterpret_cast<std::uintptr_t>(&secret) ^ 0xd1b54a32d192ed03ULL;
    return secret;
}

}  // namespace

std::uint64_t siphash13(HashKey key, std::string_view bytes) noexcept {
    SipState state(key);
    const std::size_t whole = bytes.size() & ~std::size_t{7};
    for (std::size_t at = 0; at < whole; at += 8) {
        state.absorb(load_le64(bytes.data() + at));
    }
    // The last word holds the leftover bytes and, in its top byte, the length.
    std::uint64_t last = static_cast<std::uint64_t>(bytes.size()) << 56;
    for (std::size_t at = whole; at < bytes.size(); ++at) {
        last |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[at])) << (8 * (at - whole));
    }
    state.absorb(last);
    return state.finish();
}

HashKey fresh_hash_key() noexcept {
    static const HashKey secret = draw_process_secret();  // magic static: thread-safe, once
    static std::atomic<std::uint64_t> draws{0};
    const std::uint64_t n = draws.fetch_add(1, std::memory_order_relaxed);
    char counter[8];
    std::memcpy(counter, &n, sizeof n);
    const std::string_view counter_bytes(counter, sizeof counter);
    return HashKey{siphash13(secret, counter_bytes), siphash13(HashKey{secret.k1, secret.k0}, counter_bytes)};
}

}  // namespace orbalin::common
