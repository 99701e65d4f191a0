// How a registry keeps a record: every text copied into the registry's arena,
// the record itself a view of those copies. Lookups hand out ConstantRecord
// deep copies made from it; the stored form never leaves the registry.
#pragma once

#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <span>
#include <string_view>

#include "common/arena.hpp"
#include "formulas/constant_record.hpp"
#include "formulas/constant_status.hpp"

namespace orbalin::formulas {

// The fields of a record other than its name and dependencies, as views.
struct RecordFields {
    std::string_view units;
    std::optional<std::string_view> derivation;
    double value = 0.0;
    std::optional<double> uncertainty;
    ConstantStatus status = ConstantStatus::Seed;

    [[nodiscard]] static RecordFields of(const ConstantRecord& record) noexcept {
        return {record.units, record.derivation ? std::optional<std::string_view>(*record.derivation) : std::nullopt,
                record.value, record.uncertainty, record.status};
    }
};

struct StoredRecord {
    std::string_view name;
    RecordFields fields;
    std::span<const std::string_view> dependencies;

    // A ConstantRecord owning copies of every text.
    [[nodiscard]] ConstantRecord to_record() const {
        ConstantRecord record;
        record.name = name;
        record.value = fields.value;
        record.units = fields.units;
        record.uncertainty = fields.uncertainty;
        record.status = fields.status;
        if (fields.derivation) {
            record.derivation.emplace(*fields.derivation);
        }
        record.dependencies.reserve(dependencies.size());
        for (const std::string_view dependency : dependencies) {
            record.dependencies.emplace_back(dependency);
        }
        return record;
    }
};

// Copies the record named `name` into `arena`, in one block: the record
// view, its dependency views, then every text back to back. `name` may
// already live in the arena (a replaced record keeps its stored key) and is
// then not copied again. `dependencies` is any range of texts. `alone`: no
// other thread can reach the arena (see Arena). Throws std::bad_alloc.
template <class Dependencies>
[[nodiscard]] const StoredRecord* store_record(common::Arena& arena, bool alone, std::string_view name,
                                               bool name_is_stored, const RecordFields& fields,
                                               const Dependencies& dependencies) {
    std::size_t count = 0;
    std::size_t text_bytes =
        (name_is_stored ? 0 : name.size()) + fields.units.size() + (fields.derivation ? fields.derivation->size() : 0);
    for (const auto& dependency : dependencies) {
        ++count;
        text_bytes += std::string_view(dependency).size();
    }
    const std::size_t bytes = sizeof(StoredRecord) + count * sizeof(std::string_view) + text_bytes;
    static_assert(alignof(StoredRecord) <= alignof(std::max_align_t));
    auto* block = static_cast<char*>(arena.allocate_as(alone, bytes));
    auto* stored_dependencies = reinterpret_cast<std::string_view*>(block + sizeof(StoredRecord));
    char* text = reinterpret_cast<char*>(stored_dependencies + count);
    const auto put = [&text](std::string_view source) {
        const std::string_view copy(text, source.size());
        if (!source.empty()) {
            std::memcpy(text, source.data(), source.size());
            text += source.size();
        }
        return copy;
    };
    std::size_t at = 0;
    for (const auto& dependency : dependencies) {
        new (stored_dependencies + at++) std::string_view(put(std::string_view(dependency)));
    }
    RecordFields stored_fields = fields;
    stored_fields.units = put(fields.units);
    if (fields.derivation) {
        stored_fields.derivation = put(*fields.derivation);
    }
    const std::string_view stored_name = name_is_stored ? name : put(name);
    return new (block) StoredRecord{stored_name, stored_fields, {stored_dependencies, count}};
}

}  // namespace orbalin::formulas
