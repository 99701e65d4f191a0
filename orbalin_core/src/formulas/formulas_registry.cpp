#include "formulas/formulas_registry.hpp"

#include <bit>
#include <mutex>

#include "common/byte_order.hpp"
#include "formulas/seed_table.hpp"
#include "formulas/shard_count.hpp"

namespace orbalin::formulas {

FormulasRegistry FormulasRegistry::new_seeded() {
    FormulasRegistry registry(process_shard_count());
    for (const DirectSeed& seed : direct_seeds()) {
        registry.insert(ConstantRecord::direct(seed.name, seed.value, seed.units));
    }
    for (const DerivedSeed& seed : derived_seeds()) {
        registry.insert(ConstantRecord::derived(seed.name, seed.derivation, seed.units, seed.dependencies));
    }
    return registry;
}

FormulasRegistry::FormulasRegistry(std::size_t shard_count)
    : shard_bits_(static_cast<unsigned>(std::countr_zero(std::bit_ceil(shard_count == 0 ? 1 : shard_count)))),
      shards_(std::make_unique<Shard[]>(std::size_t{1} << shard_bits_)) {}

FormulasRegistry::Shard& FormulasRegistry::shard_for(std::uint64_t hash) const noexcept {
    // The top bits pick the shard; the table buckets by the code modulo its
    // prime bucket count, so both uses stay well spread.
    const std::uint64_t index = shard_bits_ == 0 ? 0 : hash >> (64 - shard_bits_);
    return shards_[static_cast<std::size_t>(index)];
}

std::optional<ConstantRecord> FormulasRegistry::insert(ConstantRecord record) {
    const HashedName name = hashed(record.name);
    Shard& shard = shard_for(name.hash);
    std::unique_lock guard(shard.lock);
    if (const auto found = shard.table.find(name); found != shard.table.end()) {
        std::optional<ConstantRecord> previous(std::move(found->second));
        found->second = std::move(record);
        return previous;
    }
    detail::ShardKey key{std::string(name.text), name.hash};
    shard.table.emplace(std::move(key), std::move(record));
    return std::nullopt;
}

common::Result<ConstantRecord, RegistryError> FormulasRegistry::get(std::string_view name) const {
    const HashedName hashed_name = hashed(name);
    const Shard& shard = shard_for(hashed_name.hash);
    {
        std::shared_lock guard(shard.lock);
        if (!shard.table.empty()) {
            if (const auto found = shard.table.find(hashed_name); found != shard.table.end()) {
                return ConstantRecord(found->second);  // deep copy taken under the lock
            }
        }
    }
    return RegistryError::not_found(name);
}

std::uint64_t FormulasRegistry::len() const {
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < shard_count(); ++i) {
        std::shared_lock guard(shards_[i].lock);
        total += shards_[i].table.size();
    }
    return total;
}

std::vector<std::string> FormulasRegistry::sorted_names() const {
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(len()));  // a hint only: no lock is held across the two passes
    for (std::size_t i = 0; i < shard_count(); ++i) {
        std::shared_lock guard(shards_[i].lock);
        for (const auto& entry : shards_[i].table) {
            names.push_back(entry.first.text);
        }
    }
    common::sort_by_bytes(names);
    return names;
}

}  // namespace orbalin::formulas
