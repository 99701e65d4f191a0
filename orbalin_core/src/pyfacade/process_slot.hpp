// Process-lifetime objects (the module cache, the type objects,
// InternalFailure, interned names), each kept in one atomic slot.
//
// A slot is filled once and never emptied: the process owns the reference
// it holds. Two fillers may race (no GIL on a free-threaded build, or Python
// code run while the object was made); the first to publish wins, and the
// other drops its own object and uses the stored one.
#pragma once

#include <Python.h>

#include <atomic>

namespace orbalin::pyfacade {

template <class Object = PyObject>
class ProcessSlot {
public:
    // The stored object (borrowed), or null while the slot is empty.
    [[nodiscard]] Object* get() const noexcept { return stored_.load(std::memory_order_acquire); }

    // Stores `created` (a new reference, taken over) unless the slot is filled
    // already; returns the object that is stored now, borrowed.
    Object* publish(Object* created) noexcept {
        Object* expected = nullptr;
        if (stored_.compare_exchange_strong(expected, created, std::memory_order_acq_rel)) {
            return created;
        }
        Py_DECREF(reinterpret_cast<PyObject*>(created));
        return expected;
    }

private:
    std::atomic<Object*> stored_{nullptr};
};

}  // namespace orbalin::pyfacade
