// Sorting of name lists: ascending by unsigned byte value, a prefix first.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
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
// insertion sort in a buffer on the stack (a registry's seventeen take no
// heap and no call), more by std::stable_sort. Runs of equal leading bytes
// are then put in order by their full bytes.
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

inline void sort_by_bytes(std::span<std::string_view> names) {
    // Plain members, not a string_view: the stack buffer then needs no
    // initialisation before it is filled.
    struct Keyed {
        std::uint64_t lead;
        const char* data;
        std::size_t size;

        [[nodiscard]] std::string_view name() const noexcept { return {data, size}; }
    };
    constexpr std::size_t small = 32;
    const auto by_lead = [](const Keyed& a, const Keyed& b) { return a.lead < b.lead; };
    const auto by_bytes = [](const Keyed& a, const Keyed& b) { return a.name() < b.name(); };
    std::array<Keyed, small> stack;  // NOLINT(cppcoreguidelines-pro-type-member-init): filled before use
    std::vector<Keyed> heap;
    Keyed* keyed = stack.data();
    const std::size_t count = names.size();
    if (count > small) {
        heap.resize(count);
        keyed = heap.data();
    }
    for (std::size_t i = 0; i < count; ++i) {
        keyed[i] = Keyed{leading_bytes(names[i]), names[i].data(), names[i].size()};
    }
    if (count <= small) {
        detail::insertion_sort(keyed, count, by_lead);
    } else {
        std::stable_sort(keyed, keyed + count, by_lead);
    }
    // Runs of equal leading bytes, in order by their full bytes.
    for (std::size_t i = 1; i < count; ++i) {
        if (keyed[i].lead != keyed[i - 1].lead) [[likely]] {
            continue;
        }
        const std::size_t first = i - 1;
        std::size_t end = i + 1;
        while (end < count && keyed[end].lead == keyed[first].lead) {
            ++end;
        }
        if (end - first > small) {
            std::stable_sort(keyed + first, keyed + end, by_bytes);
        } else {
            detail::insertion_sort(keyed + first, end - first, by_bytes);
        }
        i = end - 1;
    }
    for (std::size_t i = 0; i < count; ++i) {
        names[i] = keyed[i].name();
    }
}

}  // namespace orbalin::common
