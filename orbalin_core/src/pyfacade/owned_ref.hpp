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
//    it, take a reference of your own with `OwnedRef::borrow`.
// So every reference count the module changes has exactly one owner in scope.
#pragma once

#include <Python.h>

#include <utility>

namespace orbalin::pyfacade {

class OwnedRef {
public:
    OwnedRef() noexcept = default;

    // Takes over a new reference (may be null: the call failed).
    [[nodiscard]] static OwnedRef steal(PyObject* new_reference) noexcept { return OwnedRef(new_reference); }

    // Takes a reference of its own to a borrowed object (may be null).
    [[nodiscard]] static OwnedRef borrow(PyObject* borrowed) noexcept {
        Py_XINCREF(borrowed);
        return OwnedRef(borrowed);
    }

    OwnedRef(OwnedRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    OwnedRef& operator=(OwnedRef&& other) noexcept {
        // Py_XSETREF order: the old object is released after the new one is in
        // place, so a destructor that runs Python code sees a consistent handle.
        Py_XSETREF(object_, std::exchange(other.object_, nullptr));
        return *this;
    }
    OwnedRef(const OwnedRef&) = delete;
    OwnedRef& operator=(const OwnedRef&) = delete;
    ~OwnedRef() { Py_XDECREF(object_); }

    [[nodiscard]] PyObject* get() const noexcept { return object_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }

    // Hands the reference on; the handle is empty afterwards.
    [[nodiscard]] PyObject* release() noexcept { return std::exchange(object_, nullptr); }

private:
    explicit OwnedRef(PyObject* object) noexcept : object_(object) {}

    PyObject* object_ = nullptr;
};

}  // namespace orbalin::pyfacade
