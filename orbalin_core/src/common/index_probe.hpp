// The probe shared by the module's hash tables: open addressing over 32-bit
// indices into a dense array of entries kept in insertion order.
//
// An index slot holds 0 while free, else k for the k-th entry. Slots number
// a power of two and are at most 3/4 full, so a linear walk from the hash's
// slot always meets a free one; the dense entries are what listings walk,
// without skipping free slots, and growing a table moves 4-byte indices.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orbalin::common {

// The slot of `indices` holding the index of the entry for which
// `matches(position)` holds (position counted from 0), else the free slot
// where such an entry would go.
template <class Matches>
[[gnu::always_inline]] inline std::uint32_t* probe_indices(std::uint32_t* indices, std::size_t capacity,
                                                           std::uint64_t hash, Matches matches) noexcept {
    const std::size_t mask = capacity - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        const std::uint32_t index = indices[at];
        if (index == 0 || matches(index - 1)) {
            return indices + at;
        }
    }
}

// Whether a table of `capacity` slots must grow before taking entry number
// `size + 1`: it is kept at most 3/4 full, and an empty one has no slots.
[[nodiscard]] constexpr bool must_grow(std::size_t size, std::size_t capacity) noexcept {
    return (size + 1) * 4 > capacity * 3;
}

}  // namespace orbalin::common
