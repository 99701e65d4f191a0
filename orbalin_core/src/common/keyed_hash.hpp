// Keyed string hashing shared by the module's hash maps.
//
// Every map draws its own key, so the internal order of entries differs from
// one map to the next and nothing outside can predict where a name lands.
// The names hashed here are short (up to a few dozen bytes), so the hash is a
// keyed multiply-mix: a name of up to 16 bytes costs one 64x64->128-bit
// multiplication of two key-masked words, and each further 16 bytes one more.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace orbalin::common {

struct HashKey {
    std::uint64_t k0 = 0;
    std::uint64_t k1 = 0;
};

namespace hash_detail {

// Odd constants with well-mixed bits (the golden ratio's and two others), so
// that no input word can cancel a key word to zero except by chance.
constexpr std::uint64_t golden = 0x9e3779b97f4a7c15ULL;
constexpr std::uint64_t mixer_a = 0xbf58476d1ce4e5b9ULL;
constexpr std::uint64_t mixer_b = 0x94d049bb133111ebULL;

// Both halves of the 128-bit product folded together: every input bit
// reaches every output bit of the high half, and the low half keeps the rest.
// GCC and Clang both have the 128-bit type; __extension__ tells -Wpedantic so.
__extension__ using uint128 = unsigned __int128;

inline std::uint64_t fold_multiply(std::uint64_t a, std::uint64_t b) noexcept {
    const uint128 product = static_cast<uint128>(a) * b;
    return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

// A little-endian word of sizeof(Word) bytes, widened to 64 bits.
template <class Word>
inline std::uint64_t load_le(const char* bytes) noexcept {
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

inline std::uint64_t load_le64(const char* bytes) noexcept {
    return load_le<std::uint64_t>(bytes);
}

inline std::uint64_t load_le32(const char* bytes) noexcept {
    return load_le<std::uint32_t>(bytes);
}

// 0 to 7 bytes as one word. Loads may overlap: the length is mixed in
// separately, so inputs of different lengths still hash apart.
inline std::uint64_t load_short(const char* bytes, std::size_t size) noexcept {
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

}  // namespace hash_detail

// The keyed hash of `bytes`: every byte and the length count, and the result
// of one key says nothing about the result of another. Inline: it is a few
// instructions for a short name, and the registry's build calls it per record.
[[nodiscard]] inline std::uint64_t keyed_mix_hash(HashKey key, std::string_view bytes) noexcept {
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
            low = hash_detail::load_le64(at);
            high = hash_detail::load_le64(at + size - 8);
        } else {
            low = hash_detail::load_short(at, size);
        }
    } else {
        std::size_t left = size;
        while (left > 16) {
            state =
                hash_detail::fold_multiply(hash_detail::load_le64(at) ^ key.k0, hash_detail::load_le64(at + 8) ^ state);
            at += 16;
            left -= 16;
        }
        low = hash_detail::load_le64(at + left - 16);  // the last 16 bytes, overlapping the words already mixed
        high = hash_detail::load_le64(at + left - 8);
    }
    return hash_detail::fold_multiply(low ^ key.k0, high ^ state);
}

// A key no other map of this process has been given. The first call seeds a
// process secret from the operating system; later calls derive a new key
// from that secret and a counter, so drawing a key costs no system call.
[[nodiscard]] HashKey fresh_hash_key() noexcept;

// Fills `keys` with as many fresh keys, for the price of one draw from the
// shared counter.
void fresh_hash_keys(std::span<HashKey> keys) noexcept;

}  // namespace orbalin::common
