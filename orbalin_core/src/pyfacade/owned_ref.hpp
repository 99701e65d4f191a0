// The one owner of a strong reference to a Python object.
//
// Rule of use, everywhere in pyfacade:
//  * A `PyObject*` parameter or local is borrowed: valid for the call it came
//    in with, never stored, never decref'd.
//  * Every new reference, the moment it is received from the interpreter, goes
//    into an OwnedRef (`OwnedRef::steal`), and leaves it only by `release()`
//    when ownership passes on (returned to the interpreter, stored in a list
//    slot or a process-lifetime static).
//  * To keep a borrowed object alive past the point where its lender could drop
//    it, take a reference of your own with `OwnedRef::new_ref` (as Py_NewRef).
// So every reference count the module changes has exactly one owner in scope.
//
// Releasing a reference can run Python code (a __del__), and Python code can
// end the thread by a forced unwind (see failure.hpp), so the destructor and
// the move assignment are not noexcept. While that unwind passes, the thread
// holds no thread state: CPython ends it while it waits for the interpreter
// lock. Reference counts may not be touched then, so the handles on the
// unwound frames let their references go unreleased: the thread is ending
// and the interpreter shutting down.
#pragma once

#include <Python.h>
#include <pthread.h>

#include <utility>

namespace orbalin::pyfacade {

class OwnedRef {
public:
    OwnedRef() noexcept = default;

    // Takes over a new reference (may be null: the call failed).
    [[nodiscard]] static OwnedRef steal(PyObject* new_reference) noexcept { return OwnedRef(new_reference); }

    // Takes a new reference of its own to a borrowed object (may be null).
    [[nodiscard]] static OwnedRef new_ref(PyObject* borrowed) noexcept {
        Py_XINCREF(borrowed);
        return OwnedRef(borrowed);
    }

    OwnedRef(OwnedRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    // NOLINTNEXTLINE(performance-noexcept-move-constructor): may run Python code
    OwnedRef& operator=(OwnedRef&& other) {
        // Py_XSETREF order: the old object is released after the new one is in
        // place, so a destructor that runs Python code sees a consistent handle.
        PyObject* old = std::exchange(object_, std::exchange(other.object_, nullptr));
        release_owned(old);
        return *this;
    }
    OwnedRef(const OwnedRef&) = delete;
    OwnedRef& operator=(const OwnedRef&) = delete;
    ~OwnedRef() noexcept(false) { release_owned(object_); }

    [[nodiscard]] PyObject* get() const noexcept { return object_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }

    // Hands the reference on; the handle is empty afterwards.
    [[nodiscard]] PyObject* release() noexcept { return std::exchange(object_, nullptr); }

private:
    explicit OwnedRef(PyObject* object) noexcept : object_(object) {}

    static void release_owned(PyObject* object) {
        if (object != nullptr && thread_is_attached()) {
            Py_DECREF(object);
        }
    }

    // Whether this thread has a thread state attached, as it has whenever it
    // runs the module's code, and not while CPython ends it. From 3.12 the
    // current thread state is kept per thread (3.13 made its getter public
    // under a new name); before, it is one global naming whichever thread
    // holds the GIL, so it must also be this thread's own.
    static bool thread_is_attached() noexcept {
#if PY_VERSION_HEX >= 0x030D0000
        return PyThreadState_GetUnchecked() != nullptr;
#elif PY_VERSION_HEX >= 0x030C0000
        return _PyThreadState_UncheckedGet() != nullptr;
#else
        const PyThreadState* current = _PyThreadState_UncheckedGet();
        // thread_id is what PyThread_get_thread_ident() gave: pthread_self().
        return current != nullptr && current->thread_id == static_cast<unsigned long>(pthread_self());
#endif
    }

    PyObject* object_ = nullptr;
};

}  // namespace orbalin::pyfacade
