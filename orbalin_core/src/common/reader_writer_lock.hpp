// A reader-writer lock in one 32-bit atomic word.
//
// Bit 0 is set while a writer holds the lock; the bits above count readers.
// A reader enters with a compare-and-swap that succeeds only while the
// writer bit is clear, and leaves with one subtraction. Since no reader ever
// touches the word while a writer holds it, and a writer enters only from
// zero, the writer leaves with a plain release store of zero: uncontended,
// a write costs one compare-and-swap and one store, a read one
// compare-and-swap and one subtraction.
//
// Nobody is ever woken: a thread that cannot take the lock spins briefly,
// then yields, then sleeps for short and growing spells until the word lets
// it in. In this module a registry is written only while it is built, before
// any reader can reach it, so waits do not occur in practice; keeping the
// release paths free of a wake-up call is what pays. Writers are not
// preferred.
//
// Meets the standard's Lockable and SharedLockable requirements, so
// std::unique_lock and std::shared_lock work with it.
//
// The word is a plain integer used through std::atomic_ref, which makes the
// lock trivially constructible: zeroed memory is an unlocked lock, so a
// thousand of them are made with one memset.
#pragma once

#include <atomic>
#include <chrono>
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
        for (unsigned round = 0; !try_lock_shared(); ++round) {
            pause(round);
        }
    }

    void unlock_shared() noexcept { word().fetch_sub(reader, std::memory_order_release); }

    void lock() noexcept {
        for (unsigned round = 0; !try_lock(); ++round) {
            pause(round);
        }
    }

    // Readers stay out while the writer bit is set, so nothing else can have
    // changed the word: a store is enough.
    void unlock() noexcept { word().store(0, std::memory_order_release); }

    [[nodiscard]] bool try_lock() noexcept {
        std::uint32_t expected = 0;
        return word().compare_exchange_strong(expected, writer, std::memory_order_acquire, std::memory_order_relaxed);
    }

    [[nodiscard]] bool try_lock_shared() noexcept {
        std::uint32_t seen = word().load(std::memory_order_relaxed);
        while ((seen & writer) == 0) {
            if (word().compare_exchange_weak(seen, seen + reader, std::memory_order_acquire, std::memory_order_relaxed))
                [[likely]] {
                return true;
            }
        }
        return false;
    }

private:
    static constexpr std::uint32_t writer = 1;
    static constexpr std::uint32_t reader = 2;

    // How a waiting thread spends its `round`-th failed attempt: spinning
    // first (the holder is usually done within a few hundred cycles), then
    // giving the processor away, then sleeping up to a millisecond a time.
    static void pause(unsigned round) noexcept {
        constexpr unsigned spins = 64;
        constexpr unsigned yields = 128;
        if (round < spins) {
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#endif
            return;
        }
        if (round < spins + yields) {
            std::this_thread::yield();
            return;
        }
        const unsigned doublings = round - spins - yields < 10 ? round - spins - yields : 10;
        std::this_thread::sleep_for(std::chrono::microseconds(1U << doublings));
    }

    [[nodiscard]] std::atomic_ref<std::uint32_t> word() noexcept {
        return std::atomic_ref<std::uint32_t>(word_);
    }

    alignas(std::atomic_ref<std::uint32_t>::required_alignment) std::uint32_t word_ = 0;  // zero: unlocked
};

}  // namespace orbalin::common
