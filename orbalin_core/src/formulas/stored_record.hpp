// How a registry keeps its records, and the copy a lookup hands out.
//
// A stored record is one relocatable block: a fixed header, one reference
// per dependency, then every text's bytes, each text referred to by its
// offset from the record's first byte. Nothing in a record points outside
// it, so one memcpy of its `bytes` is a complete deep copy wherever it lands:
// that is how a build copies the seed records (all seventeen laid out by the
// compiler as one image) and how a lookup copies the record it found. The
// record's name is its key in the registry.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <type_traits>

#include "formulas/constant_record.hpp"
#include "formulas/constant_status.hpp"

namespace orbalin::formulas {

// A text of a stored record: its first byte, counted from the record's first
// byte, and its length.
struct TextRef {
    std::uint32_t offset;
    std::uint32_t size;
};

struct StoredRecord {
    std::uint64_t hash;  // the registry's keyed hash of the name, set when the record is linked into a shard
    double value;
    double uncertainty;   // meaningful only when has_uncertainty
    std::uint32_t bytes;  // the whole record: header, dependency references and texts
    std::uint32_t dependency_count;
    ConstantStatus status;
    bool has_uncertainty;
    bool has_derivation;
    std::uint8_t unused_byte;  // explicit, so the header has no padding and can be laid out as bytes
    TextRef name;
    TextRef units;
    TextRef derivation;
    std::uint32_t unused_word;

    [[nodiscard]] std::string_view text(TextRef ref) const noexcept {
        return {reinterpret_cast<const char*>(this) + ref.offset, ref.size};
    }

    [[nodiscard]] std::string_view key() const noexcept { return text(name); }

    [[nodiscard]] TextRef dependency(std::size_t index) const noexcept {
        TextRef ref{};
        std::memcpy(&ref, reinterpret_cast<const char*>(this + 1) + index * sizeof(TextRef), sizeof ref);
        return ref;
    }

    // A ConstantRecord owning copies of every text.
    [[nodiscard]] ConstantRecord to_record() const {
        ConstantRecord record;
        record.name = text(name);
        record.value = value;
        record.units = text(units);
        if (has_uncertainty) {
            record.uncertainty = uncertainty;
        }
        record.status = status;
        if (has_derivation) {
            record.derivation.emplace(text(derivation));
        }
        record.dependencies.reserve(dependency_count);
        for (std::size_t i = 0; i < dependency_count; ++i) {
            record.dependencies.emplace_back(text(dependency(i)));
        }
        return record;
    }
};
static_assert(sizeof(StoredRecord) == 64);
static_assert(std::is_trivially_copyable_v<StoredRecord> && alignof(StoredRecord) == 8);

// A deep copy of one stored record, made by a single memcpy of its bytes:
// into a buffer held in place when the record fits (every seed record does),
// else into a heap block of its own. Lookups that want only a field or two
// read it here, without building a ConstantRecord's strings.
class RecordCopy {
public:
    RecordCopy() noexcept = default;
    RecordCopy(const RecordCopy&) = delete;
    RecordCopy& operator=(const RecordCopy&) = delete;
    RecordCopy(RecordCopy&&) = delete;  // `record_` may point into `in_place_`
    RecordCopy& operator=(RecordCopy&&) = delete;
    ~RecordCopy() = default;

    // Replaces the held copy with one of `stored`. Throws std::bad_alloc,
    // holding what it held, when a record larger than the buffer finds no
    // heap memory.
    void assign(const StoredRecord& stored) {
        unsigned char* target = in_place_.data();
        if (stored.bytes > in_place_.size()) {
            heap_ = std::make_unique_for_overwrite<unsigned char[]>(stored.bytes);  // aligned for any scalar
            target = heap_.get();
        }
        std::memcpy(target, &stored, stored.bytes);
        record_ = std::launder(reinterpret_cast<const StoredRecord*>(target));
    }

    // The copy; only after an assign.
    [[nodiscard]] const StoredRecord& record() const noexcept { return *record_; }

private:
    static constexpr std::size_t in_place_bytes = 248;
    // Written before it is read; not zeroed, which would cost as much as the copy.
    alignas(StoredRecord) std::array<unsigned char, in_place_bytes> in_place_;
    std::unique_ptr<unsigned char[]> heap_;  // null until a record outgrew `in_place_`
    const StoredRecord* record_ = nullptr;
};

// Records start on 8-byte boundaries.
[[nodiscard]] constexpr std::size_t round_to_word(std::size_t bytes) noexcept {
    return (bytes + 7) & ~std::size_t{7};
}

// The bytes a record of these texts takes.
template <class Dependencies>
[[nodiscard]] constexpr std::size_t record_bytes(std::string_view name, std::string_view units,
                                                 std::string_view derivation, const Dependencies& dependencies) {
    std::size_t bytes = sizeof(StoredRecord) + name.size() + units.size() + derivation.size();
    for (const auto& dependency : dependencies) {
        bytes += sizeof(TextRef) + std::string_view(dependency).size();
    }
    return bytes;
}

// Writes a record into `out` (record_bytes(...) bytes), its hash left zero:
// at compile time for the seed image, at run time for `insert`. A record is
// limited to 4 GiB of texts, which its 32-bit offsets can reach; beyond that
// it throws std::length_error.
template <class Dependencies>
constexpr void write_record(unsigned char* out, std::string_view name, std::string_view units,
                            std::optional<std::string_view> derivation, double value, std::optional<double> uncertainty,
                            ConstantStatus status, const Dependencies& dependencies) {
    const std::size_t total = record_bytes(name, units, derivation.value_or(std::string_view()), dependencies);
    if (total > UINT32_MAX) {
        throw std::length_error("record too large to store");
    }
    std::uint32_t count = 0;
    for ([[maybe_unused]] const auto& dependency : dependencies) {
        ++count;
    }
    std::size_t at = sizeof(StoredRecord) + std::size_t{count} * sizeof(TextRef);
    const auto put = [out, &at](std::string_view text) {
        const TextRef ref{static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(text.size())};
        if (std::is_constant_evaluated()) {
            for (const char c : text) {
                out[at++] = static_cast<unsigned char>(c);
            }
        } else if (!text.empty()) {
            std::memcpy(out + at, text.data(), text.size());
            at += text.size();
        }
        return ref;
    };
    const auto place = [out](std::size_t offset, const auto& object) {
        const auto bytes = std::bit_cast<std::array<unsigned char, sizeof object>>(object);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            out[offset + i] = bytes[i];
        }
    };
    std::size_t reference = sizeof(StoredRecord);
    for (const auto& dependency : dependencies) {
        place(reference, put(std::string_view(dependency)));
        reference += sizeof(TextRef);
    }
    const TextRef name_ref = put(name);
    const TextRef units_ref = put(units);
    const TextRef derivation_ref = derivation ? put(*derivation) : TextRef{0, 0};
    place(0, StoredRecord{0, value, uncertainty.value_or(0.0), static_cast<std::uint32_t>(total), count, status,
                          uncertainty.has_value(), derivation.has_value(), 0, name_ref, units_ref, derivation_ref, 0});
}

}  // namespace orbalin::formulas
