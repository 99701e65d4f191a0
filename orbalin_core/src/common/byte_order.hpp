// Sorting of name lists: ascending by unsigned byte value, a prefix first.
#pragma once

#include <algorithm>
#include <string>
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

}  // namespace orbalin::common
