// Sorting of name lists: ascending by unsigned byte value, a prefix first.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

namespace orbalin::common {

// The first 8 bytes of `name` as a big-endian integer, zero-padded: integers
// order as the bytes do, so most comparisons of a sort are one integer
// comparison. Names that tie (equal first 8 bytes, or one a zero-padded
// prefix of the other, such as "a" and "a\0") need their full bytes.
[[nodiscard]] inline std::uint64_t leading_bytes(std::string_view name) noexcept {
    const auto big_endian = [](auto word) {
        if constexpr (std::endian::native == std::endian::little) {
            if constexpr (sizeof word == 8) {
                return __builtin_bswap64(word);
            } else {
                return __builtin_bswap32(word);
            }
        }
        return word;
    };
    const char* bytes = name.data();
    const std::size_t size = name.size();
    if (size >= 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes, sizeof word);  // a fixed size: one load
        return big_endian(word);
    }
    if (size >= 4) {
        // Two overlapping loads, the second shifted to where its bytes belong.
        std::uint32_t head = 0;
        std::uint32_t tail = 0;
        std::memcpy(&head, bytes, sizeof head);
        std::memcpy(&tail, bytes + size - 4, sizeof tail);
        return (std::uint64_t{big_endian(head)} << 32) | (std::uint64_t{big_endian(tail)} << (64 - 8 * size));
    }
    if (size == 0) {
        return 0;
    }
    // One to three bytes: first, middle and last cover them all.
    const auto byte_at = [bytes](std::size_t at) {
        return std::uint64_t{static_cast<unsigned char>(bytes[at])} << (56 - 8 * at);
    };
    return byte_at(0) | byte_at(size / 2) | byte_at(size - 1);
}

// Sorts `names` ascending by unsigned byte value, a proper prefix first (the
// order std::string_view's comparison gives, since char_traits<char>
// compares as unsigned char). Stable, although names of one list are unique.
//
// Each name is sorted by its leading_bytes first: up to 32 names by an
// insertion sort of one word per name on the stack (a registry's seventeen
// take no heap and no call), more by std::stable_sort. Runs of equal leading
// bytes are then put in order by their full bytes.
namespace detail {

// Insertion sort: no calls and no scratch memory, the fastest way to order
// the few dozen items it is used for. Stable.
template <class Item, class Less>
void insertion_sort(Item* items, std::size_t count, Less less) {
    for (std::size_t i = 1; i < count; ++i) {
        const Item moving = items[i];
        std::size_t at = i;
        for (; at > 0 && less(moving, items[at - 1]); --at) {
            items[at] = items[at - 1];
        }
        items[at] = moving;
    }
}

}  // namespace detail

// Up to 32 names: each is one word, its first seven bytes above its position,
// so the insertion sort moves eight bytes per step and a tie between words
// cannot happen. Names whose first seven bytes agree form runs that are put
// in order by their full bytes.
inline void sort_few_by_bytes(std::span<std::string_view> names) {
    constexpr std::uint64_t position_bits = 0xFF;
    const std::size_t count = names.size();
    std::array<std::uint64_t, 32> keys;           // NOLINT(cppcoreguidelines-pro-type-member-init): filled first
    std::array<std::string_view, 32> unsorted{};  // the names by their old positions
    for (std::size_t i = 0; i < count; ++i) {
        unsorted[i] = names[i];
        keys[i] = (leading_bytes(names[i]) & ~position_bits) | i;
    }
    detail::insertion_sort(keys.data(), count, std::less<>());
    const auto name_of = [&unsorted](std::uint64_t key) { return unsorted[key & position_bits]; };
    for (std::size_t i = 1; i < count; ++i) {
        if ((keys[i] >> 8) != (keys[i - 1] >> 8)) [[likely]] {
            continue;
        }
        const std::size_t first = i - 1;
        std::size_t end = i + 1;
        while (end < count && (keys[end] >> 8) == (keys[first] >> 8)) {
            ++end;
        }
        detail::insertion_sort(keys.data() + first, end - first,
                               [&name_of](std::uint64_t a, std::uint64_t b) { return name_of(a) < name_of(b); });
        i = end - 1;
    }
    for (std::size_t i = 0; i < count; ++i) {
        names[i] = name_of(keys[i]);
    }
}

inline void sort_by_bytes(std::span<std::string_view> names) {
    if (names.size() <= 32) {
        sort_few_by_bytes(names);
        return;
    }
    struct Keyed {
        std::uint64_t lead;
        std::string_view name;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(names.size());
    for (const std::string_view name : names) {
        keyed.push_back(Keyed{leading_bytes(name), name});
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) { return a.lead < b.lead; });
    // Runs of equal leading bytes, in order by their full bytes.
    for (auto first = keyed.begin(); first != keyed.end();) {
        const auto end = std::find_if(first + 1, keyed.end(), [&](const Keyed& k) { return k.lead != first->lead; });
        if (end - first > 1) {
            std::stable_sort(first, end, [](const Keyed& a, const Keyed& b) { return a.name < b.name; });
        }
        first = end;
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        names[i] = keyed[i].name;
    }
}

}  // namespace orbalin::common
