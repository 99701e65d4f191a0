// Keyed string hashing shared by the module's hash maps.
//
// Every map draws its own key, so the internal order of entries differs from
// one map to the next and nothing outside can predict bucket placement. The
// hash is SipHash-1-3: short inputs, good spread, and a key that matters.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orbalin::common {

struct HashKey {
    std::uint64_t k0 = 0;
    std::uint64_t k1 = 0;
};

// SipHash-1-3 of `bytes` under `key`.
[[nodiscard]] std::uint64_t siphash13(HashKey key, std::string_view bytes) noexcept;

// A key no other map of this process has been given. The first call seeds a
// process secret from the operating system; later calls derive a new key
// from that secret and a counter, so drawing a key costs no system call.
[[nodiscard]] HashKey fresh_hash_key() noexcept;

// Hash functor for unordered maps keyed by owned text. Transparent, so
// lookups take a std::string_view without building a std::string.
class KeyedStringHash {
public:
    using is_transparent = void;

    KeyedStringHash() noexcept : key_(fresh_hash_key()) {}
    explicit KeyedStringHash(HashKey key) noexcept : key_(key) {}

    // Deliberately not noexcept: libstdc++ caches hash codes in the nodes only
    // for hashers that may throw, and a cached code spares a SipHash per node
    // visited when a bucket is walked or the table is rehashed.
    std::uint64_t operator()(std::string_view text) const { return siphash13(key_, text); }
    std::uint64_t operator()(const std::string& text) const { return siphash13(key_, text); }

    [[nodiscard]] HashKey key() const noexcept { return key_; }

private:
    HashKey key_;
};

}  // namespace orbalin::common
