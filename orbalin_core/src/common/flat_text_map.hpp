// A small hash map from owned text to a value: open addressing with linear
// probing in one array, a keyed hash per map, at most three quarters full.
//
// For maps of a handful of entries, where std::unordered_map pays one heap
// node per entry plus a bucket array: this one takes a single allocation,
// made at the first insert, until it outgrows it.
#pragma once

#include <bit>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/keyed_hash.hpp"

namespace orbalin::common {

template <class Value>
class FlatTextMap {
public:
    FlatTextMap() noexcept : key_(fresh_hash_key()) {}

    // Stores `value` under a copy of `key`; a value stored under the same key
    // is replaced (and destroyed) and the stored key stays. True if the key is new.
    bool insert_or_assign(std::string_view key, Value&& value) {
        const std::uint64_t hash = keyed_mix_hash(key_, key);
        if (std::optional<Entry>* found = slot_of(hash, key); found != nullptr && found->has_value()) {
            (*found)->value = std::move(value);
            return false;
        }
        if ((size_ + 1) * 4 > slots_.size() * 3) {
            grow();
        }
        std::optional<Entry>* free_slot = slot_of(hash, key);
        free_slot->emplace(hash, key, std::move(value));
        ++size_;
        return true;
    }

    [[nodiscard]] const Value* find(std::string_view key) const {
        const std::optional<Entry>* found = const_cast<FlatTextMap*>(this)->slot_of(keyed_mix_hash(key_, key), key);
        return found != nullptr && found->has_value() ? &(*found)->value : nullptr;
    }

    [[nodiscard]] std::size_t size() const noexcept { return size_; }

    // Calls `visit(key, value)` for every entry, in the table's own order.
    template <class Visit>
    void for_each(Visit visit) const {
        for (const std::optional<Entry>& slot : slots_) {
            if (slot) {
                visit(std::string_view(slot->key), slot->value);
            }
        }
    }

private:
    struct Entry {
        Entry(std::uint64_t code, std::string_view text, Value&& stored)
            : hash(code), key(text), value(std::move(stored)) {}

        std::uint64_t hash;
        std::string key;
        Value value;
    };

    // The slot holding `key`, else the free slot where it would go; null
    // while the table has no slots.
    std::optional<Entry>* slot_of(std::uint64_t hash, std::string_view key) noexcept {
        if (slots_.empty()) {
            return nullptr;
        }
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
            std::optional<Entry>& slot = slots_[at];
            if (!slot || (slot->hash == hash && slot->key == key)) {
                return &slot;
            }
        }
    }

    void grow() {
        std::vector<std::optional<Entry>> old(slots_.empty() ? 8 : slots_.size() * 2);
        old.swap(slots_);
        for (std::optional<Entry>& moving : old) {
            if (moving) {
                *slot_of(moving->hash, moving->key) = std::move(moving);
            }
        }
    }

    std::vector<std::optional<Entry>> slots_;  // a power of two in size, or empty
    std::size_t size_ = 0;
    HashKey key_;
};

}  // namespace orbalin::common
