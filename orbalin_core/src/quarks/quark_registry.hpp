// The quark registry: a name-keyed map of QuarkRecords.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "common/flat_text_map.hpp"
#include "quarks/quark_record.hpp"

namespace orbalin::quarks {

// Keys are separate copies of the records' names. The map draws its hash key
// when it is made; its entries stay in insertion order, and every listing
// sorts. Not locked: a registry belongs to one caller. The six quarks and
// their indices fit the map's first block, under 1 KiB.
class QuarkRegistry {
public:
    // An empty registry with a fresh hash key.
    [[nodiscard]] static QuarkRegistry new_empty();

    // The six quarks, inserted in table order.
    [[nodiscard]] static QuarkRegistry standard_model();

    // Stores `record` under a copy of its name; a record of the same name is
    // replaced (and destroyed), leaving the count unchanged.
    void insert(QuarkRecord record);

    // All names, ascending by unsigned byte value, a prefix first, as views
    // of the stored keys: valid until the registry changes or goes.
    [[nodiscard]] std::vector<std::string_view> sorted_name_views() const;

    [[nodiscard]] std::uint64_t len() const noexcept { return records_.size(); }

    // The record stored under `name`, or null.
    [[nodiscard]] const QuarkRecord* find(std::string_view name) const;

private:
    explicit QuarkRegistry(common::HashKey key) noexcept : records_(key) {}

    common::FlatTextMap<QuarkRecord> records_;
};

}  // namespace orbalin::quarks
