// The constants registry: a sharded concurrent map from name to record.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/keyed_hash.hpp"
#include "common/result.hpp"
#include "formulas/constant_record.hpp"
#include "formulas/registry_error.hpp"

namespace orbalin::formulas {

namespace detail {

// A name with its hash already taken: the registry hashes each name once,
// and that one code picks the shard and the bucket inside it.
struct HashedName {
    std::string_view text;
    std::uint64_t hash;
};

// A stored key: the name and the code it was filed under.
struct ShardKey {
    std::string text;
    std::uint64_t hash;
};

// The shard tables never hash: every key and every probe arrives with its
// code. (Being noexcept and cheap, it also spares libstdc++ caching a second
// copy of the code in every node.)
struct ShardHash {
    using is_transparent = void;
    std::uint64_t operator()(const ShardKey& key) const noexcept { return key.hash; }
    std::uint64_t operator()(const HashedName& name) const noexcept { return name.hash; }
};

struct ShardEqual {
    using is_transparent = void;
    bool operator()(const ShardKey& a, const ShardKey& b) const noexcept {
        return a.hash == b.hash && a.text == b.text;
    }
    bool operator()(const HashedName& a, const ShardKey& b) const noexcept {
        return a.hash == b.hash && a.text == b.text;
    }
    bool operator()(const ShardKey& a, const HashedName& b) const noexcept {
        return a.hash == b.hash && a.text == b.text;
    }
};

}  // namespace detail

// Entries are spread over a power-of-two number of shards by a keyed hash of
// the name; each shard is a hash table guarded by its own reader-writer lock.
// Reads take shared locks, `insert` an exclusive one, and no operation ever
// holds more than one lock at a time or returns while holding one.
//
// Names are byte strings compared exactly: no trimming, no case folding, no
// normalisation; an embedded NUL is part of the name.
class FormulasRegistry {
public:
    // A registry holding the 17 constants of the seed table, with fresh hash
    // keys and the process's shard count.
    [[nodiscard]] static FormulasRegistry new_seeded();

    // An empty registry with `shard_count` shards (a power of two, at least 1)
    // and fresh hash keys. Reserves no room: shards grow as records arrive.
    explicit FormulasRegistry(std::size_t shard_count);

    FormulasRegistry(FormulasRegistry&&) noexcept = default;
    FormulasRegistry& operator=(FormulasRegistry&&) noexcept = default;
    FormulasRegistry(const FormulasRegistry&) = delete;
    FormulasRegistry& operator=(const FormulasRegistry&) = delete;
    ~FormulasRegistry() = default;

    // Stores `record` under a copy of its name. If a record of that name was
    // stored, the new one takes its place (the stored key stays) and the old
    // one is returned.
    std::optional<ConstantRecord> insert(ConstantRecord record);

    // A deep copy of the record stored under exactly `name`, or NotFound
    // carrying a copy of `name`.
    [[nodiscard]] common::Result<ConstantRecord, RegistryError> get(std::string_view name) const;

    // Number of records, summed shard by shard under each shard's read lock.
    [[nodiscard]] std::uint64_t len() const;

    // Copies of all names, ascending by unsigned byte value, a prefix first.
    [[nodiscard]] std::vector<std::string> sorted_names() const;

    [[nodiscard]] std::size_t shard_count() const noexcept { return std::size_t{1} << shard_bits_; }

private:
    using HashedName = detail::HashedName;
    using Table = std::unordered_map<detail::ShardKey, ConstantRecord, detail::ShardHash, detail::ShardEqual>;

    struct Shard {
        mutable std::shared_mutex lock;  // guards `table` and nothing else
        Table table;
    };

    [[nodiscard]] HashedName hashed(std::string_view name) const { return {name, hash_(name)}; }
    [[nodiscard]] Shard& shard_for(std::uint64_t hash) const noexcept;

    common::KeyedStringHash hash_;
    unsigned shard_bits_;
    std::unique_ptr<Shard[]> shards_;  // NOLINT(cppcoreguidelines-avoid-c-arrays): fixed count, locks are immovable
};

}  // namespace orbalin::formulas
