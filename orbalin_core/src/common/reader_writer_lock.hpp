// A reader-writer lock in one 32-bit atomic word.
//
// Bit 0 is set while a writer holds the lock; the bits above count readers.
// Uncontended, taking and releasing a shared lock are one atomic addition
// each, and the lock needs four bytes, so a registry can give each of a
// thousand shards its own without paying for a thousand std::shared_mutex.
//
// A thread that cannot take the lock spins briefly, then sleeps in
// std::atomic::wait (a futex on Linux) until the word changes. Writers are not
// preferred: in this module a registry is written only while it is built,
// before any reader can reach it.
//
// Meets the standard's Lockable and SharedLockable requirements, so
// std::unique_lock and std::shared_lock work with it.
//
// The word is a plain integer used through std::atomic_ref, which makes the
// lock trivially constructible: zeroed memory is an unlocked lock, so a
// thousand of them are made with one memset.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

namespace orbalin::common {

class ReaderWriterLock {
public:
    ReaderWriterLock() noexcept = default;
    ~ReaderWriterLock() = default;
    ReaderWriterLock(const ReaderWriterLock&) = delete;
    ReaderWriterLock& operator=(const ReaderWriterLock&) = delete;
    ReaderWriterLock(ReaderWriterLock&&) = delete;
    ReaderWriterLock& operator=(ReaderWriterLock&&) = delete;

    void lock_shared() noexcept {
        for (;;) {
            const std::uint32_t before = word().fetch_add(reader, std::memory_order_acquire);
            if ((before & writer) == 0) [[likely]] {
                return;
            }
            // A writer holds it: take the count back and wait for the writer.
            release_reader();
            wait_while_held(writer);
        }
    }

    void unlock_shared() noexcept { release_reader(); }

    void lock() noexcept {
        for (;;) {
            std::uint32_t expected = 0;
            if (word().compare_exchange_weak(expected, writer, std::memory_order_acquire, std::memory_order_relaxed))
                [[likely]] {
                return;
            }
            wait_while_held(~std::uint32_t{0});
        }
    }

    void unlock() noexcept {
        word().fetch_and(~writer, std::memory_order_release);
        word().notify_all();  // no system call unless a thread is waiting
    }

    [[nodiscard]] bool try_lock() noexcept {
        std::uint32_t expected = 0;
        return word().compare_exchange_strong(expected, writer, std::memory_order_acquire, std::memory_order_relaxed);
    }

    [[nodiscard]] bool try_lock_shared() noexcept {
        if ((word().fetch_add(reader, std::memory_order_acquire) & writer) == 0) {
            return true;
        }
        release_reader();
        return false;
    }

private:
    static constexpr std::uint32_t writer = 1;
    static constexpr std::uint32_t reader = 2;

    void release_reader() noexcept {
        // The last reader out may be what a waiting writer waits for.
        if (word().fetch_sub(reader, std::memory_order_release) == reader) [[unlikely]] {
            word().notify_all();
        }
    }

    // Returns once none of `bits` is set in the word (or spuriously).
    void wait_while_held(std::uint32_t bits) noexcept {
        for (int spin = 0; spin < 64; ++spin) {
            if ((word().load(std::memory_order_relaxed) & bits) == 0) {
                return;
            }
            std::this_thread::yield();
        }
        std::uint32_t seen = word().load(std::memory_order_relaxed);
        while ((seen & bits) != 0) {
            word().wait(seen, std::memory_order_relaxed);
            seen = word().load(std::memory_order_relaxed);
        }
    }

    [[nodiscard]] std::atomic_ref<std::uint32_t> word() noexcept { return std::atomic_ref<std::uint32_t>(word_); }

    alignas(std::atomic_ref<std::uint32_t>::required_alignment) std::uint32_t word_ = 0;  // zero: unlocked
};

}  // namespace orbalin::common
