#include "formulas/formulas_registry.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <mutex>
#include <shared_mutex>
#include <span>
#include <utility>

#include "common/byte_order.hpp"
#include "common/index_probe.hpp"
#include "formulas/seed_table.hpp"
#include "formulas/shard_count.hpp"

namespace orbalin::formulas {
namespace {

// Index slots of a table holding `size` records: none while empty, then the
// smallest power of two from 4 up that keeps the table at most 3/4 full.
// A function of the size alone, so a shard needs to store only its size.
inline std::size_t capacity_for(std::uint32_t size) noexcept {
    if (size <= 3) {  // most shards of a registry stay this small
        return size == 0 ? 0 : 4;
    }
    const std::size_t least = (std::size_t{size} * 4 + 2) / 3;
    return std::max<std::size_t>(4, std::bit_ceil(least));
}

// Bytes of one record pointer in a table (object pointers all have one size here).
constexpr std::size_t record_pointer_bytes = sizeof(void*);

// A table of `capacity` index slots: the indices, then 3/4 as many record
// pointers (the most it ever holds).
constexpr std::size_t table_bytes(std::size_t capacity) noexcept {
    return capacity * sizeof(std::uint32_t) + capacity / 4 * 3 * record_pointer_bytes;
}

constexpr std::size_t first_capacity = 4;

// Where a padded shard's first table starts in its cache line.
constexpr std::size_t first_table_offset = 8;
static_assert(first_table_offset + table_bytes(first_capacity) <= 64);

StoredRecord** records_of(std::uint32_t* table, std::size_t capacity) noexcept {
    return reinterpret_cast<StoredRecord**>(table + capacity);
}

// The index slot holding the record of `key`, else the free slot where it
// would go: lookups, inserts and rebuilding a grown table all use it.
[[gnu::always_inline]] inline std::uint32_t* probe(std::uint32_t* indices, std::size_t capacity, std::uint64_t hash,
                                                   std::string_view key) noexcept {
    StoredRecord* const* records = records_of(indices, capacity);
    return common::probe_indices(indices, capacity, hash, [records, hash, key](std::uint32_t position) {
        const StoredRecord* record = records[position];
        return record->hash == hash && record->key() == key;
    });
}

// The seed table as it lies in storage: each row's record, 8-byte aligned,
// one after another in table order.
constexpr std::size_t seed_record_bytes(const SeedRow& row) {
    return round_to_word(record_bytes(row.name, row.units, row.derivation, row.dependencies));
}

constexpr std::size_t seed_image_bytes = [] {
    std::size_t bytes = 0;
    for (const SeedRow& row : seed_rows) {
        bytes += seed_record_bytes(row);
    }
    return bytes;
}();

constexpr std::array<unsigned char, seed_image_bytes> seed_image = [] {
    std::array<unsigned char, seed_image_bytes> image{};
    std::size_t at = 0;
    for (const SeedRow& row : seed_rows) {
        write_record(image.data() + at, row.name, row.units,
                     row.derived ? std::optional<std::string_view>(row.derivation) : std::nullopt, row.value,
                     std::nullopt, row.derived ? ConstantStatus::Pending : ConstantStatus::Seed, row.dependencies);
        at += seed_record_bytes(row);
    }
    return image;
}();

// The arena bytes the seed build's tables need besides the shards, over at
// most `used_shards` shards, whatever way the hash spreads the records. A
// shard that ends with k records made tables of 4, 8, ... up to
// capacity_for(k) <= 3k + 4 slots: fewer than twice the last one's bytes,
// plus the arena's padding of up to 16 bytes for each of at most 4 tables
// (capacity_for(17) is 32).
constexpr std::size_t seed_table_bytes(std::size_t records, std::size_t used_shards) noexcept {
    constexpr std::size_t bytes_per_slot = 10;     // table_bytes(c) == 10 * c
    constexpr std::size_t padding_per_shard = 64;  // up to 16 bytes for each of at most 4 tables
    return 2 * bytes_per_slot * (3 * records + 4 * used_shards) + padding_per_shard * used_shards;
}
static_assert(table_bytes(first_capacity) == 10 * first_capacity && table_bytes(32) == std::size_t{10} * 32);

}  // namespace

template <class Allocate>
[[gnu::always_inline]] inline const StoredRecord* FormulasRegistry::link(StoredRecord* record, Allocate allocate) {
    const std::string_view key = record->key();
    const std::uint64_t hash = common::keyed_mix_hash(key_, key);
    record->hash = hash;
    const std::size_t index = shard_index(hash);
    Shard& shard = shard_at(index);
    std::uint32_t*& table = tables_[index];
    const std::lock_guard guard(shard.lock);
    const std::size_t capacity = capacity_for(shard.size);
    std::uint32_t* slot = nullptr;
    if (capacity != 0) {
        slot = probe(table, capacity, hash, key);
        if (*slot != 0) {
            return std::exchange(records_of(table, capacity)[*slot - 1], record);
        }
    }
    // Full at 3/4: the table grows when the record to come would pass that.
    std::size_t grown_capacity = capacity;
    if (common::must_grow(shard.size, capacity)) {
        grown_capacity = capacity == 0 ? first_capacity : capacity * 2;
        // The first table of a padded shard is the rest of its cache line,
        // zeroed with the shard; any other comes from the arena. An outgrown
        // table stays in the arena until the registry goes.
        std::uint32_t* grown = nullptr;
        if (capacity == 0 && shard_stride_ == cache_line) {
            grown = reinterpret_cast<std::uint32_t*>(reinterpret_cast<std::byte*>(&shard) + first_table_offset);
        } else {
            grown = static_cast<std::uint32_t*>(allocate(table_bytes(grown_capacity)));
            std::memset(grown, 0, grown_capacity * sizeof(std::uint32_t));
        }
        StoredRecord** moved = records_of(grown, grown_capacity);
        if (shard.size != 0) {
            std::memcpy(moved, records_of(table, capacity), shard.size * record_pointer_bytes);
        }
        for (std::uint32_t i = 0; i < shard.size; ++i) {
            *probe(grown, grown_capacity, moved[i]->hash, moved[i]->key()) = i + 1;
        }
        table = grown;
        slot = probe(grown, grown_capacity, hash, key);
    }
    records_of(table, grown_capacity)[shard.size] = record;
    ++shard.size;
    *slot = shard.size;
    return nullptr;
}

inline const StoredRecord* FormulasRegistry::link_while_building(StoredRecord* record) {
    return link(record, [this](std::size_t bytes) { return arena_.allocate_alone(bytes); });
}

const StoredRecord* FormulasRegistry::link_shared(StoredRecord* record) {
    return link(record, [this](std::size_t bytes) { return arena_.allocate(bytes); });
}

FormulasRegistry FormulasRegistry::new_seeded() {
    return seeded(process_shard_count());
}

FormulasRegistry FormulasRegistry::seeded(std::size_t shard_count) {
    const std::size_t shards = std::bit_ceil(shard_count == 0 ? 1 : shard_count);
    // Sized so that the build never needs a second block: untouched room
    // costs nothing but address space.
    const std::size_t storage = shard_storage_bytes(shards) + seed_image_bytes + 16 +
                                seed_table_bytes(seed_count, std::min(shards, seed_count));
    FormulasRegistry registry(shards, storage);
    // The fresh copies of the seed records: one memcpy of the whole image.
    auto* image = static_cast<unsigned char*>(registry.arena_.allocate_alone(seed_image_bytes));
    std::memcpy(image, seed_image.data(), seed_image_bytes);
    for (const unsigned char* end = image + seed_image_bytes; image != end;) {
        auto* record = std::launder(reinterpret_cast<StoredRecord*>(image));
        image += round_to_word(record->bytes);
        registry.link_while_building(record);
    }
    return registry;
}

FormulasRegistry::FormulasRegistry(std::size_t shard_count) : FormulasRegistry(shard_count, 0) {}

FormulasRegistry::FormulasRegistry(std::size_t shard_count, std::size_t storage_hint)
    : key_(common::fresh_hash_key()),
      shard_bits_(static_cast<unsigned>(std::countr_zero(std::bit_ceil(shard_count == 0 ? 1 : shard_count)))),
      arena_(std::max(storage_hint, shard_storage_bytes(FormulasRegistry::shard_count()))),
      shard_stride_(shard_stride_for(FormulasRegistry::shard_count())) {
    const std::size_t count = FormulasRegistry::shard_count();
    auto* raw = static_cast<std::byte*>(arena_.allocate_alone(shard_storage_bytes(count)));
    const auto address = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (address + shard_stride_ - 1) & ~(static_cast<std::uintptr_t>(shard_stride_) - 1);
    shards_ = raw + (aligned - address);
    tables_ = reinterpret_cast<std::uint32_t**>(raw + count * shard_stride_ + cache_line);
    // Zeroed memory is a set of empty shards with unlocked locks (and, in
    // padded lines, empty first tables): a Shard is an aggregate, so the
    // arena's block, which came from operator new, holds them once the bytes
    // say so.
    std::memset(shards_, 0, count * shard_stride_);
}

FormulasRegistry::FormulasRegistry(FormulasRegistry&& other) noexcept
    : key_(other.key_),
      shard_bits_(other.shard_bits_),
      arena_(std::move(other.arena_)),
      shard_stride_(other.shard_stride_),
      shards_(std::exchange(other.shards_, nullptr)),
      tables_(std::exchange(other.tables_, nullptr)) {}

FormulasRegistry& FormulasRegistry::operator=(FormulasRegistry&& other) noexcept {
    key_ = other.key_;
    shard_bits_ = other.shard_bits_;
    arena_ = std::move(other.arena_);
    shard_stride_ = other.shard_stride_;
    shards_ = std::exchange(other.shards_, nullptr);
    tables_ = std::exchange(other.tables_, nullptr);
    return *this;
}

std::optional<ConstantRecord> FormulasRegistry::insert(
    ConstantRecord record) {  // NOLINT(performance-unnecessary-value-param): taken, as callers hand it over
    const std::string_view derivation = record.derivation ? std::string_view(*record.derivation) : std::string_view();
    // Everything that can fail (the allocation, the size check) happens
    // before any table changes, so a failed insert leaves the registry as it was.
    auto* block = static_cast<unsigned char*>(
        arena_.allocate(record_bytes(record.name, record.units, derivation, record.dependencies)));
    write_record(block, record.name, record.units,
                 record.derivation ? std::optional<std::string_view>(derivation) : std::nullopt, record.value,
                 record.uncertainty, record.status, record.dependencies);
    if (const StoredRecord* previous = link_shared(std::launder(reinterpret_cast<StoredRecord*>(block)));
        previous != nullptr) {
        // A replaced record stays in the arena, unchanged, until the registry goes.
        return previous->to_record();
    }
    return std::nullopt;
}

std::optional<RegistryError> FormulasRegistry::get(std::string_view name, RecordCopy& copy) const {
    const std::uint64_t hash = common::keyed_mix_hash(key_, name);
    const std::size_t index = shard_index(hash);
    {
        const Shard& shard = shard_at(index);
        const std::shared_lock guard(shard.lock);
        if (shard.size != 0) {  // an empty shard has no table to probe
            const std::size_t capacity = capacity_for(shard.size);
            std::uint32_t* table = tables_[index];
            if (const std::uint32_t* slot = probe(table, capacity, hash, name); *slot != 0) {
                copy.assign(*records_of(table, capacity)[*slot - 1]);  // taken under the lock
                return std::nullopt;
            }
        }
    }
    return RegistryError::not_found(name);
}

std::uint64_t FormulasRegistry::len() const {
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < shard_count(); ++i) {
        const Shard& shard = shard_at(i);
        const std::shared_lock guard(shard.lock);
        total += shard.size;
    }
    return total;
}

std::vector<std::string_view> FormulasRegistry::sorted_name_views() const {
    // One pass, one shared lock per shard: no counting pass first, which
    // would lock every shard twice. Room for the seed table up front.
    std::vector<std::string_view> names;
    names.reserve(seed_count);
    for (std::size_t i = 0; i < shard_count(); ++i) {
        const Shard& shard = shard_at(i);
        const std::shared_lock guard(shard.lock);
        if (shard.size == 0) {
            continue;
        }
        const StoredRecord* const* records = records_of(tables_[i], capacity_for(shard.size));
        for (std::size_t at = 0; at < shard.size; ++at) {
            names.push_back(records[at]->key());
        }
    }
    common::sort_by_bytes(names);
    return names;
}

}  // namespace orbalin::formulas
