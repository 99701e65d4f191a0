// The constants registry: a sharded concurrent map from name to record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

#include "common/arena.hpp"
#include "common/keyed_hash.hpp"
#include "common/reader_writer_lock.hpp"
#include "formulas/constant_record.hpp"
#include "formulas/registry_error.hpp"
#include "formulas/stored_record.hpp"

namespace orbalin::formulas {

// Records are spread over a power-of-two number of shards by a keyed hash of
// the name; each shard is a hash table guarded by its own reader-writer lock.
// Reads take shared locks, `insert` an exclusive one, and no operation ever
// holds more than one lock at a time or returns while holding one.
//
// Storage: everything a registry holds (its shards, their tables, every
// record) lives in one arena owned by the registry, so a registry built from
// the seed table costs one heap allocation and is freed at once. Writers of
// different shards allocate from it without a lock of their own.
//
// A shard is an 8-byte head (lock word, record count); the pointer to its
// table sits in a separate array, read only once the count says the table
// exists, so a new registry zeroes 8 bytes per shard and no more. A table holds
// pointers to the shard's records densely in insertion order, plus 32-bit
// indices into them that are probed linearly and kept at most 3/4 full; it is
// made at the shard's first insert and replaced by one twice the size as the
// shard fills. Up to 64 shards, each shard has a cache line of its own and
// its first table (4 indices, 3 record pointers) lives in the rest of that
// line.
//
// Names are byte strings compared exactly: no trimming, no case folding, no
// normalisation; an embedded NUL is part of the name.
class FormulasRegistry {
public:
    // A registry holding the 17 constants of the seed table, with fresh hash
    // keys and the process's shard count.
    [[nodiscard]] static FormulasRegistry new_seeded();

    // The same with `shard_count` shards (rounded up to a power of two), for
    // tests and benchmarks of other host sizes.
    [[nodiscard]] static FormulasRegistry seeded(std::size_t shard_count);

    // An empty registry with `shard_count` shards (rounded up to a power of
    // two, at least 1) and fresh hash keys. Reserves no room: shards grow as
    // records arrive.
    explicit FormulasRegistry(std::size_t shard_count);

    FormulasRegistry(FormulasRegistry&& other) noexcept;
    FormulasRegistry& operator=(FormulasRegistry&& other) noexcept;
    FormulasRegistry(const FormulasRegistry&) = delete;
    FormulasRegistry& operator=(const FormulasRegistry&) = delete;
    ~FormulasRegistry() = default;

    // Stores a copy of `record` under its name. If a record of that name was
    // stored, the new one takes its place and the old one is returned.
    std::optional<ConstantRecord> insert(ConstantRecord record);

    // Takes a deep copy of the record stored under exactly `name` into `copy`
    // while holding the shard's shared lock (one memcpy, no heap for a record
    // of up to 248 bytes). When no record has exactly that name, returns
    // NotFound carrying a copy of `name` and leaves `copy` as it was.
    [[nodiscard]] std::optional<RegistryError> get(std::string_view name, RecordCopy& copy) const;

    // Number of records, summed shard by shard under each shard's read lock.
    [[nodiscard]] std::uint64_t len() const;

    // All names, ascending by unsigned byte value, a prefix first, as views of
    // the stored records' names: valid for as long as the registry lives,
    // since a stored record is never moved, changed or freed before the
    // registry is (a replaced one stays in the arena). For callers that copy
    // the names elsewhere anyway, such as into Python strings.
    [[nodiscard]] std::vector<std::string_view> sorted_name_views() const;

    [[nodiscard]] std::size_t shard_count() const noexcept { return std::size_t{1} << shard_bits_; }

private:
    struct Shard {
        mutable common::ReaderWriterLock lock;  // guards `size` and the shard's table, nothing else
        std::uint32_t size = 0;
    };
    static_assert(sizeof(Shard) == 8);

    FormulasRegistry(std::size_t shard_count, std::size_t storage_hint);

    // Links a written record (its hash not yet set) into its shard under the
    // shard's exclusive lock, with the replace rule: when the shard holds a
    // record of that name already, the new one takes its place in the table
    // and the old one is returned. The two named paths differ only in how a
    // growing table gets its memory: while the registry is being built no
    // other thread can reach the arena.
    const StoredRecord* link_while_building(StoredRecord* record);
    const StoredRecord* link_shared(StoredRecord* record);
    template <class Allocate>
    const StoredRecord* link(StoredRecord* record, Allocate allocate);

    [[nodiscard]] std::size_t shard_index(std::uint64_t hash) const noexcept {
        // The top bits pick the shard and the low bits the slot, so the two
        // choices stay independent.
        return shard_bits_ == 0 ? 0 : static_cast<std::size_t>(hash >> (64 - shard_bits_));
    }
    [[nodiscard]] Shard& shard_at(std::size_t index) const noexcept {
        return *std::launder(reinterpret_cast<Shard*>(shards_ + index * shard_stride_));
    }

    // Up to this many shards, each gets a cache line of its own, so that
    // readers of different shards on different cores never write to the
    // same line (their shared locks are writes), and the line's other 48
    // bytes hold the shard's first table. Beyond it the 8-byte heads are
    // packed, so a build's cost does not grow with the host.
    static constexpr std::size_t cache_line = 64;
    static constexpr std::size_t padded_shard_limit = 64;
    [[nodiscard]] static std::size_t shard_stride_for(std::size_t shard_count) noexcept {
        return shard_count <= padded_shard_limit ? cache_line : sizeof(Shard);
    }
    // The shards, room to align the first, and the table pointers.
    [[nodiscard]] static std::size_t shard_storage_bytes(std::size_t shard_count) noexcept {
        return shard_count * shard_stride_for(shard_count) + cache_line + shard_count * sizeof(std::uint32_t*);
    }

    common::HashKey key_;
    unsigned shard_bits_;
    common::Arena arena_;          // owns every block below; shard writers may allocate from it at once
    std::size_t shard_stride_;     // bytes from one shard to the next
    std::byte* shards_ = nullptr;  // shard_count() shards, in `arena_`
    // Shard i's table: capacity_for(size) 32-bit indices (0: free, k: the
    // k-th record), then room for 3/4 as many record pointers in insertion
    // order. Unset while the shard is empty, and never read then.
    std::uint32_t** tables_ = nullptr;
};

}  // namespace orbalin::formulas
