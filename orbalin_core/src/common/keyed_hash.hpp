// Keyed string hashing shared by the module's hash maps.
//
// Every map draws its own key, so the internal order of entries differs from
// one map to the next and nothing outside can predict where a name lands.
// The names hashed here are short (up to a few dozen bytes), so the hash is a
// keyed multiply-mix: a name of up to 16 bytes costs one 64x64->128-bit
// multiplication of two key-masked words, and each further 16 bytes one more.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orbalin::common {

struct HashKey {
    std::uint64_t k0 = 0;
    std::uint64_t k1 = 0;
};

// The keyed hash of `bytes`: every byte and the length count, and the result
// of one key says nothing about the result of another.
[[nodiscard]] std::uint64_t keyed_mix_hash(HashKey key, std::string_view bytes) noexcept;

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

    std::uint64_t operator()(std::string_view text) const noexcept { return keyed_mix_hash(key_, text); }
    std::uint64_t operator()(const std::string& text) const noexcept { return keyed_mix_hash(key_, text); }

private:
    HashKey key_;
};

}  // namespace orbalin::common
