// A bump allocator that owns every block it hands out until it is destroyed.
//
// A registry keeps its shards, tables and texts in one arena: building one
// costs one heap allocation when the first block is sized right, and
// dropping one frees everything at once. Nothing is freed piecemeal; memory
// given back by a table that grew stays in the arena until the end.
//
// Two ways to allocate:
//  * `allocate` may run in several threads at once (writers holding the
//    locks of different shards): the block's fill mark moves by an atomic
//    addition, and a new block is published by compare-and-swap. It takes no
//    lock, so a caller holding one never waits on another.
//  * `allocate_alone` is for an owner that no other thread can reach yet (a
//    registry being built): the same bookkeeping with plain loads and stores.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

namespace orbalin::common {

class Arena {
public:
    // `first_block` bytes are taken at once, the first time memory is asked for.
    explicit Arena(std::size_t first_block) noexcept : first_block_(first_block) {}

    Arena(Arena&& other) noexcept
        : current_(other.current_.exchange(nullptr, std::memory_order_relaxed)), first_block_(other.first_block_) {}
    Arena& operator=(Arena&& other) noexcept {
        if (this != &other) {
            release();
            current_.store(other.current_.exchange(nullptr, std::memory_order_relaxed), std::memory_order_relaxed);
            first_block_ = other.first_block_;
        }
        return *this;
    }
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;
    ~Arena() { release(); }

    // `size` bytes aligned for any type up to alignof(std::max_align_t),
    // uninitialised. Safe to call from several threads at once. Throws
    // std::bad_alloc.
    [[nodiscard]] void* allocate(std::size_t size) {
        const std::size_t padded = round_up(size);
        Block* block = current_.load(std::memory_order_acquire);
        for (;;) {
            if (block != nullptr) {
                // Blocks hand out multiples of max_align_t, so every start is aligned.
                const std::size_t at = block->used.fetch_add(padded, std::memory_order_relaxed);
                if (at + padded <= block->capacity) {
                    return block->bytes() + at;
                }
            }
            Block* grown = new_block(block, padded);
            if (current_.compare_exchange_strong(block, grown, std::memory_order_acq_rel, std::memory_order_acquire)) {
                block = grown;
            } else {
                ::operator delete(static_cast<void*>(grown));  // another thread grew it first: use theirs
            }
        }
    }

    // The same, for an owner that no other thread can reach.
    [[nodiscard]] void* allocate_alone(std::size_t size) {
        const std::size_t padded = round_up(size);
        Block* block = current_.load(std::memory_order_relaxed);
        if (block == nullptr || block->used.load(std::memory_order_relaxed) + padded > block->capacity) {
            block = new_block(block, padded);
            current_.store(block, std::memory_order_relaxed);
        }
        const std::size_t at = block->used.load(std::memory_order_relaxed);
        block->used.store(at + padded, std::memory_order_relaxed);
        return block->bytes() + at;
    }

    // Number of blocks taken from the heap so far.
    [[nodiscard]] std::size_t block_count() const noexcept {
        std::size_t count = 0;
        for (const Block* block = current_.load(std::memory_order_acquire); block != nullptr; block = block->next) {
            ++count;
        }
        return count;
    }

private:
    struct alignas(std::max_align_t) Block {
        Block* next;
        std::size_t capacity;
        std::atomic<std::size_t> used;  // may run past `capacity` when concurrent requests overflow it

        std::byte* bytes() noexcept { return reinterpret_cast<std::byte*>(this + 1); }
    };

    static constexpr std::size_t round_up(std::size_t size) noexcept {
        constexpr std::size_t unit = alignof(std::max_align_t);
        return (size + unit - 1) & ~(unit - 1);
    }

    // A block after `previous`, with room for at least `at_least` bytes;
    // blocks grow geometrically after the first.
    Block* new_block(Block* previous, std::size_t at_least) {
        std::size_t size = previous == nullptr ? first_block_ : previous->capacity * 2;
        size = round_up(size > at_least ? size : at_least);
        void* memory = ::operator new(sizeof(Block) + size);
        return new (memory) Block{previous, size, {0}};
    }

    void release() noexcept {
        Block* block = current_.exchange(nullptr, std::memory_order_relaxed);
        while (block != nullptr) {
            Block* next = block->next;
            ::operator delete(static_cast<void*>(block));
            block = next;
        }
    }

    std::atomic<Block*> current_{nullptr};
    std::size_t first_block_;
};

}  // namespace orbalin::common
