// Process-lifetime objects (the module cache, the type objects,
// InternalFailure), each kept in one atomic slot.
//
// A slot is filled once per runtime: the process owns the reference it holds.
// Two fillers may race (no GIL on a free-threaded build, or Python code run
// while the object was made); the first to publish wins, and the other drops
// its own object and uses the stored one.
//
// What a slot holds belongs to the runtime that made it. An application that
// embeds Python may finalize it and initialize it again in the same process;
// the old objects are dead then. `forget_all()` empties every slot without
// touching what it held, so the next runtime fills them afresh. The object is
// neither used nor released after that (its runtime is gone), but the slot
// still points at the last one it held: at the end of an ordinary process,
// with its one runtime, everything the module made is still referenced, as
// it was before the runtime ended, and a leak checker finds nothing of ours.
#pragma once

#include <Python.h>

#include <atomic>

namespace orbalin::pyfacade {

// Every slot of the process, chained at load time so that all can be forgotten
// at once; the slots themselves are statics and never go away.
class ProcessSlotChain {
public:
    ProcessSlotChain(const ProcessSlotChain&) = delete;
    ProcessSlotChain& operator=(const ProcessSlotChain&) = delete;
    ProcessSlotChain(ProcessSlotChain&&) = delete;
    ProcessSlotChain& operator=(ProcessSlotChain&&) = delete;

    // Empties every slot. Only once the runtime that filled them has been
    // finalized: nothing may be using the objects, and they are not released
    // (the runtime they belong to is gone).
    static void forget_all() noexcept {
        for (ProcessSlotChain* slot = first_; slot != nullptr; slot = slot->next_) {
            slot->retired_ = slot->stored_.exchange(nullptr, std::memory_order_acq_rel);
        }
    }

protected:
    // Constructed during the loading of the shared object, one thread only.
    ProcessSlotChain() noexcept : next_(first_) { first_ = this; }
    ~ProcessSlotChain() = default;

    std::atomic<void*> stored_{nullptr};

private:
    void* retired_ = nullptr;  // the last object a finalized runtime left here; never read
    ProcessSlotChain* next_;
    static inline constinit ProcessSlotChain* first_ = nullptr;
};

template <class Object = PyObject>
class ProcessSlot : private ProcessSlotChain {
public:
    // The stored object (borrowed). While the slot is empty, `create()` makes
    // one (a new reference, or null with an error set) and publishes it; a
    // filler that lost the race drops its own object and returns the
    // winner's. Null with create()'s error when it fails; the slot stays
    // empty then, and the next call tries again.
    template <class Create>
    Object* get_or_create(Create create) {
        if (Object* stored = get()) {
            return stored;
        }
        Object* created = create();
        return created == nullptr ? nullptr : publish(created);
    }

private:
    // The stored object (borrowed), or null while the slot is empty.
    [[nodiscard]] Object* get() const noexcept { return static_cast<Object*>(stored_.load(std::memory_order_acquire)); }

    // Stores `created` (a new reference, taken over) unless the slot is filled
    // already; returns the object that is stored now, borrowed.
    Object* publish(Object* created) {
        void* expected = nullptr;
        if (stored_.compare_exchange_strong(expected, created, std::memory_order_acq_rel)) {
            return created;
        }
        Py_DECREF(reinterpret_cast<PyObject*>(created));
        return static_cast<Object*>(expected);
    }
};

}  // namespace orbalin::pyfacade
