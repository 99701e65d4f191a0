// A small hash map from owned text to a value, in one heap block: 32-bit
// indices probed linearly (common::probe_indices) and the entries densely in
// insertion order, a keyed hash per map, at most three quarters full.
//
// For maps of a handful of entries, where std::unordered_map pays one heap
// node per entry plus a bucket array: this one takes a single block, made at
// the first insert, until it outgrows it. The first block has 8 index slots
// and room for 6 entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "common/index_probe.hpp"
#include "common/keyed_hash.hpp"

namespace orbalin::common {

template <class Value>
class FlatTextMap {
    static_assert(std::is_nothrow_move_constructible_v<Value>, "growing moves the entries");

public:
    FlatTextMap() noexcept : key_(fresh_hash_key()) {}
    // With a key drawn by the caller (several at once cost one draw).
    explicit FlatTextMap(HashKey key) noexcept : key_(key) {}

    FlatTextMap(FlatTextMap&& other) noexcept
        : block_(std::exchange(other.block_, nullptr)),
          size_(std::exchange(other.size_, 0)),
          capacity_(std::exchange(other.capacity_, 0)),
          key_(other.key_) {}
    FlatTextMap& operator=(FlatTextMap&& other) noexcept {
        if (this != &other) {
            release();
            block_ = std::exchange(other.block_, nullptr);
            size_ = std::exchange(other.size_, 0);
            capacity_ = std::exchange(other.capacity_, 0);
            key_ = other.key_;
        }
        return *this;
    }
    FlatTextMap(const FlatTextMap&) = delete;
    FlatTextMap& operator=(const FlatTextMap&) = delete;
    ~FlatTextMap() { release(); }

    // Stores `value` under a copy of `key`; a value stored under the same key
    // is replaced (and destroyed) and the stored key stays. True if the key is new.
    bool insert_or_assign(std::string_view key, Value&& value) {
        return insert_or_assign_with(key, [&value]() -> Value&& { return std::move(value); });
    }

    // The same with the value that `make()` returns, which a new entry is
    // constructed from in place: a value made as a temporary is not moved.
    template <class Make>
    bool insert_or_assign_with(std::string_view key, Make make) {
        const std::uint64_t hash = keyed_mix_hash(key_, key);
        if (capacity_ != 0) {
            if (const std::uint32_t* slot = probe(hash, key); *slot != 0) {
                entries()[*slot - 1].value = make();
                return false;
            }
        }
        if (must_grow(size_, capacity_)) {
            grow();
        }
        std::uint32_t* slot = probe(hash, key);
        new (entries() + size_) Entry{hash, std::string(key), make()};  // may throw: nothing changed yet
        *slot = ++size_;
        return true;
    }

    [[nodiscard]] const Value* find(std::string_view key) const {
        if (size_ == 0) {
            return nullptr;
        }
        const std::uint32_t* slot = const_cast<FlatTextMap*>(this)->probe(keyed_mix_hash(key_, key), key);
        return *slot == 0 ? nullptr : &entries()[*slot - 1].value;
    }

    [[nodiscard]] std::size_t size() const noexcept { return size_; }

    // Calls `visit(key, value)` for every entry, in insertion order.
    template <class Visit>
    void for_each(Visit visit) const {
        for (std::size_t i = 0; i < size_; ++i) {
            visit(std::string_view(entries()[i].key), entries()[i].value);
        }
    }

private:
    struct Entry {
        std::uint64_t hash;
        std::string key;
        Value value;
    };
    static_assert(alignof(Entry) <= alignof(std::max_align_t));

    static constexpr std::size_t first_capacity = 8;

    // The block: `capacity` indices, then room for 3/4 as many entries (a
    // multiple of 32 bytes of indices, so the entries start aligned).
    static std::size_t block_bytes(std::size_t capacity) noexcept {
        return capacity * sizeof(std::uint32_t) + capacity / 4 * 3 * sizeof(Entry);
    }
    [[nodiscard]] std::uint32_t* indices() const noexcept {
        return std::launder(reinterpret_cast<std::uint32_t*>(block_));
    }
    [[nodiscard]] Entry* entries() const noexcept {
        return std::launder(reinterpret_cast<Entry*>(block_ + capacity_ * sizeof(std::uint32_t)));
    }

    std::uint32_t* probe(std::uint64_t hash, std::string_view key) noexcept {
        Entry* dense = entries();
        return probe_indices(indices(), capacity_, hash, [dense, hash, key](std::uint32_t position) {
            return dense[position].hash == hash && dense[position].key == key;
        });
    }

    void grow() {
        const std::size_t capacity = capacity_ == 0 ? first_capacity : std::size_t{capacity_} * 2;
        auto* block = static_cast<std::byte*>(::operator new(block_bytes(capacity)));
        std::memset(block, 0, capacity * sizeof(std::uint32_t));
        auto* moved = reinterpret_cast<Entry*>(block + capacity * sizeof(std::uint32_t));
        Entry* old = entries();
        for (std::size_t i = 0; i < size_; ++i) {
            new (moved + i) Entry(std::move(old[i]));
            old[i].~Entry();
        }
        ::operator delete(static_cast<void*>(block_));
        block_ = block;
        capacity_ = static_cast<std::uint32_t>(capacity);
        for (std::uint32_t i = 0; i < size_; ++i) {
            *probe(moved[i].hash, moved[i].key) = i + 1;
        }
    }

    void release() noexcept {
        if (block_ == nullptr) {
            return;
        }
        Entry* dense = entries();
        for (std::size_t i = 0; i < size_; ++i) {
            dense[i].~Entry();
        }
        ::operator delete(static_cast<void*>(block_));
        block_ = nullptr;
        size_ = 0;
        capacity_ = 0;
    }

    std::byte* block_ = nullptr;
    std::uint32_t size_ = 0;
    std::uint32_t capacity_ = 0;  // index slots: a power of two, or 0 without a block
    HashKey key_;
};

}  // namespace orbalin::common
