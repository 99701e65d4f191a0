#include "formulas/formulas_registry.hpp"

#include <algorithm>
#include <bit>
#include <mutex>
#include <shared_mutex>
#include <utility>

#include "common/byte_order.hpp"
#include "formulas/seed_table.hpp"
#include "formulas/shard_count.hpp"

namespace orbalin::formulas {
namespace {

// Slots of a table holding `size` entries: none while empty, then the
// smallest power of two from 4 up that keeps the table at most 3/4 full.
// A function of the size alone, so a shard needs to store only its size.
std::size_t capacity_for(std::uint32_t size) noexcept {
    if (size == 0) {
        return 0;
    }
    // At most 3/4 full: capacity >= 4 * size / 3, rounded up to a power of two.
    const std::size_t least = (std::size_t{size} * 4 + 2) / 3;
    return std::max<std::size_t>(4, std::bit_ceil(least));
}

// The arena bytes that `records` records need besides the shards, over at
// most `used_shards` shards, whatever way the hash spreads them.
// Records: one block each (its view, dependency views and texts, padded as
// the arena pads). Tables: a shard that ends with k records made tables of
// 4, 8, ... up to capacity_for(k) slots, fewer than 2 * capacity_for(k) <
// 2 * (8k/3 + 4) in all; summed over the shards that is under
// 16/3 * records + 8 per shard used.
std::size_t table_bytes_bound(std::size_t records, std::size_t used_shards) noexcept {
    constexpr std::size_t slot_bytes = 16;
    return slot_bytes * ((16 * records + 2) / 3 + 8 * used_shards);
}

std::size_t seed_record_bytes() noexcept {
    static const std::size_t bytes = [] {
        constexpr std::size_t pad = alignof(std::max_align_t);
        std::size_t total = 0;
        for (const DirectSeed& seed : direct_seeds()) {
            total += sizeof(StoredRecord) + seed.name.size() + seed.units.size() + pad;
        }
        for (const DerivedSeed& seed : derived_seeds()) {
            total += sizeof(StoredRecord) + seed.name.size() + seed.units.size() + seed.derivation.size() + pad;
            for (const std::string_view dependency : seed.dependencies) {
                total += sizeof(std::string_view) + dependency.size();
            }
        }
        return total;
    }();
    return bytes;
}

}  // namespace

FormulasRegistry FormulasRegistry::new_seeded() {
    return seeded(process_shard_count());
}

FormulasRegistry FormulasRegistry::seeded(std::size_t shard_count) {
    const std::size_t shards = std::bit_ceil(shard_count == 0 ? 1 : shard_count);
    // Sized so that the build never needs a second block: untouched room
    // costs nothing but address space.
    const std::size_t storage =
        shard_storage_bytes(shards) + seed_record_bytes() + table_bytes_bound(seed_count, std::min(shards, seed_count));
    FormulasRegistry registry(shards, storage);
    for (const DirectSeed& seed : direct_seeds()) {
        const RecordFields fields{seed.units, std::nullopt, seed.value, std::nullopt, ConstantStatus::Seed};
        registry.insert_fields(true, seed.name, fields, std::span<const std::string_view>());
    }
    for (const DerivedSeed& seed : derived_seeds()) {
        const RecordFields fields{seed.units, seed.derivation, 0.0, std::nullopt, ConstantStatus::Pending};
        registry.insert_fields(true, seed.name, fields, seed.dependencies);
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
    if (shard_stride_ == sizeof(Shard)) {
        // Packed, with a stride the compiler knows: the loop becomes a memset.
        auto* first = reinterpret_cast<Shard*>(shards_);
        for (std::size_t i = 0; i < count; ++i) {
            new (first + i) Shard();
        }
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            new (shards_ + i * shard_stride_) Shard();
        }
    }
}

FormulasRegistry::FormulasRegistry(FormulasRegistry&& other) noexcept
    : key_(other.key_),
      shard_bits_(other.shard_bits_),
      arena_(std::move(other.arena_)),
      shard_stride_(other.shard_stride_),
      shards_(std::exchange(other.shards_, nullptr)) {}

FormulasRegistry& FormulasRegistry::operator=(FormulasRegistry&& other) noexcept {
    key_ = other.key_;
    shard_bits_ = other.shard_bits_;
    arena_ = std::move(other.arena_);
    shard_stride_ = other.shard_stride_;
    shards_ = std::exchange(other.shards_, nullptr);
    return *this;
}

FormulasRegistry::Shard& FormulasRegistry::shard_for(std::uint64_t hash) const noexcept {
    // The top bits pick the shard and the low bits the slot, so the two
    // choices stay independent.
    const std::uint64_t index = shard_bits_ == 0 ? 0 : hash >> (64 - shard_bits_);
    return shard_at(static_cast<std::size_t>(index));
}

std::optional<ConstantRecord> FormulasRegistry::insert(
    ConstantRecord record) {  // NOLINT(performance-unnecessary-value-param): taken, as callers hand it over
    return insert_fields(false, record.name, RecordFields::of(record), record.dependencies);
}

inline FormulasRegistry::Slot* FormulasRegistry::probe(Slot* slots, std::size_t capacity, std::uint64_t hash,
                                                       std::string_view name) noexcept {
    // At most 3/4 full, so the walk always meets a free slot.
    const std::size_t mask = capacity - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        Slot& slot = slots[at];
        if (slot.record == nullptr || (slot.hash == hash && slot.record->name == name)) {
            return &slot;
        }
    }
}

template <class Dependencies>
std::optional<ConstantRecord> FormulasRegistry::insert_fields(bool alone, std::string_view name,
                                                              const RecordFields& fields,
                                                              const Dependencies& dependencies) {
    const std::uint64_t hash = common::keyed_mix_hash(key_, name);
    Shard& shard = shard_for(hash);
    std::unique_lock guard(shard.lock);
    // Everything that can fail (the arena allocations) happens before the
    // table changes, so a failed insert leaves the shard as it was.
    const std::size_t capacity = capacity_for(shard.size);
    Slot* target = capacity == 0 ? nullptr : probe(shard.slots, capacity, hash, name);
    if (target != nullptr && target->record != nullptr) {
        std::optional<ConstantRecord> previous(target->record->to_record());
        target->record = store_record(arena_, alone, target->record->name, true, fields, dependencies);
        return previous;
    }
    const StoredRecord* stored = store_record(arena_, alone, name, false, fields, dependencies);
    if (const std::size_t grown_capacity = capacity_for(shard.size + 1); grown_capacity != capacity) {
        Slot* grown = arena_.make_array<Slot>(grown_capacity, alone);
        for (std::size_t i = 0; i < capacity; ++i) {
            if (const Slot& moving = shard.slots[i]; moving.record != nullptr) {
                *probe(grown, grown_capacity, moving.hash, moving.record->name) = moving;
            }
        }
        shard.slots = grown;  // the outgrown table stays in the arena until the registry goes
        target = probe(grown, grown_capacity, hash, name);
    }
    *target = Slot{hash, stored};
    ++shard.size;
    return std::nullopt;
}

common::Result<ConstantRecord, RegistryError> FormulasRegistry::get(std::string_view name) const {
    const std::uint64_t hash = common::keyed_mix_hash(key_, name);
    const Shard& shard = shard_for(hash);
    {
        std::shared_lock guard(shard.lock);
        if (shard.size != 0) {  // an empty shard ends the search without probing
            if (const Slot* slot = probe(shard.slots, capacity_for(shard.size), hash, name); slot->record != nullptr) {
                return slot->record->to_record();  // deep copy taken under the lock
            }
        }
    }
    return RegistryError::not_found(name);
}

std::uint64_t FormulasRegistry::len() const {
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < shard_count(); ++i) {
        const Shard& shard = shard_at(i);
        std::shared_lock guard(shard.lock);
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
        std::shared_lock guard(shard.lock);
        const std::size_t capacity = capacity_for(shard.size);
        for (std::size_t at = 0; at < capacity; ++at) {
            if (const StoredRecord* record = shard.slots[at].record; record != nullptr) {
                names.push_back(record->name);
            }
        }
    }
    // Views are sorted rather than strings: swapping two views moves 16 bytes.
    common::sort_by_bytes(names);
    return names;
}

std::vector<std::string> FormulasRegistry::sorted_names() const {
    const std::vector<std::string_view> views = sorted_name_views();
    return {views.begin(), views.end()};
}

}  // namespace orbalin::formulas
