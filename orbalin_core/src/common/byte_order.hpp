// Sorting of name lists: ascending by unsigned byte value, a prefix first.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace orbalin::common {

// std::string compares through char_traits<char>, which the standard defines
// to order as unsigned char whatever the signedness of char, and a proper
// prefix compares less. That is exactly byte order. Names in one registry
// are unique, so a stable sort would order them no differently; std::sort
// needs no scratch buffer.
inline void sort_by_bytes(std::vector<std::string>& names) {
    std::sort(names.begin(), names.end());
}

// The same for views. Names of one list mostly differ in their first byte,
// which is compared inline before the full comparison.
inline void sort_by_bytes(std::vector<std::string_view>& names) {
    std::sort(names.begin(), names.end(), [](std::string_view a, std::string_view b) {
        if (!a.empty() && !b.empty() && a.front() != b.front()) {
            return static_cast<unsigned char>(a.front()) < static_cast<unsigned char>(b.front());
        }
        return a < b;
    });
}

}  // namespace orbalin::common
