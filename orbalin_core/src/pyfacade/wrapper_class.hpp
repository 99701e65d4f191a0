// What the three wrapper classes share: a heap type made with PyType_FromSpec,
// instances that own one native value, the receiver check and the length.
//
// A class is described by a traits struct:
//
//   struct Traits {
//       using Native = ...;                        // the wrapped value
//       static constexpr const char* name;         // "PyFormulasRegistry"
//       static constexpr const char* dotted_name;  // "builtins.PyFormulasRegistry"
//       static constexpr const char* doc;          // "Name()\n--\n\n..." or prose
//       static PyMethodDef* methods() noexcept;    // null-terminated, or nullptr
//       static PyObject* construct(PyTypeObject*, PyObject*, PyObject*);  // tp_new
//       // Optional: static std::uint64_t length(const Native&);
//   };
//
// Types get Py_TPFLAGS_DEFAULT and Py_TPFLAGS_IMMUTABLETYPE and nothing else:
// no subclassing, no __dict__, no weak references, no cyclic GC (a native
// value holds no Python object). Immutable, because a replaced `__new__` could
// make instances whose native value was never constructed, and a reassigned
// `__class__` could make one class's value be read as another's.
#pragma once

#include <Python.h>

#include <cstdint>
#include <new>
#include <utility>

#include "pyfacade/arguments.hpp"
#include "pyfacade/conversion.hpp"
#include "pyfacade/failure.hpp"
#include "pyfacade/method_cast.hpp"
#include "pyfacade/owned_ref.hpp"
#include "pyfacade/process_slot.hpp"

namespace orbalin::pyfacade {

// tp_new of a class without a constructor: refuses every call.
PyObject* refuse_construction(PyTypeObject* type, PyObject* args, PyObject* kwargs);

// Creates a heap type from its `definition`. New reference or null.
PyObject* create_heap_type(PyType_Spec* definition);

template <class Traits>
concept HasLength = requires(const typename Traits::Native& value) {
    { Traits::length(value) } -> std::same_as<std::uint64_t>;
};

template <class Traits>
class WrapperClass {
public:
    using Native = typename Traits::Native;

    struct Object {
        PyObject_HEAD Native value;
    };

    // The type object, created on first use and kept for the process.
    // Borrowed; null with an error set when it cannot be created.
    static PyTypeObject* type() {
        if (PyTypeObject* stored = type_.get()) {
            return stored;
        }
        PyType_Slot slots[] = {
            {Py_tp_base, &PyBaseObject_Type},
            {Py_tp_dealloc, reinterpret_cast<void*>(&dealloc)},
            {Py_tp_doc, const_cast<char*>(Traits::doc)},
            {Py_tp_new, reinterpret_cast<void*>(&Traits::construct)},
            {Traits::methods() != nullptr ? Py_tp_methods : 0, Traits::methods()},
            {HasLength<Traits> ? Py_mp_length : 0, length_slot()},
            {0, nullptr},
        };
        // Drop the unused optional slots: the list ends at the first zero.
        PyType_Slot* end = slots;
        for (const PyType_Slot& slot : slots) {
            if (slot.slot != 0) {
                *end++ = slot;
            }
        }
        *end = {0, nullptr};
        PyType_Spec definition{Traits::dotted_name, static_cast<int>(sizeof(Object)), 0,
                               Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE, slots};
        PyObject* created = create_heap_type(&definition);
        if (created == nullptr) {
            return nullptr;
        }
        return type_.publish(reinterpret_cast<PyTypeObject*>(created));
    }

    // A new instance of `type` owning `value`; null with the allocation error
    // set when the interpreter cannot allocate it (the value is destroyed).
    static PyObject* wrap(PyTypeObject* type, Native&& value) {
        auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
        PyObject* self = (alloc != nullptr ? alloc : PyType_GenericAlloc)(type, 0);
        if (self == nullptr) {
            ensure_error_set();
            return nullptr;  // `value` is destroyed by its owner, the caller
        }
        static_assert(std::is_nothrow_move_constructible_v<Native>);
        new (&reinterpret_cast<Object*>(self)->value) Native(std::move(value));
        return self;
    }

    // The receiver of a method, checked and held for the call.
    struct Receiver {
        OwnedRef hold;
        const Native* value = nullptr;
        explicit operator bool() const noexcept { return value != nullptr; }
    };

    // Checks that `self` is an instance of the class (exact type first, then
    // subtypes); otherwise TypeError "'<its type>' object cannot be converted
    // to '<class>'". Only an unbound call can bring a foreign receiver.
    static Receiver receiver(PyObject* self) {
        PyTypeObject* expected = type();
        if (expected == nullptr) {
            return {};
        }
        if (Py_TYPE(self) != expected && PyType_IsSubtype(Py_TYPE(self), expected) == 0) {
            raise_cannot_convert(self, Traits::name);
            return {};
        }
        return {OwnedRef::borrow(self), &reinterpret_cast<Object*>(self)->value};
    }

    // tp_new of a class whose constructor takes no arguments: refuses any
    // argument with the messages of `full_name`, then wraps what `make()`
    // builds. No C++ exception escapes.
    template <class Make>
    static PyObject* construct_without_arguments(const char* full_name, PyTypeObject* type, PyObject* args,
                                                 PyObject* kwargs, Make make) {
        return guarded([&]() -> PyObject* {
            if (!match_no_arguments(full_name, args, kwargs)) {
                return nullptr;
            }
            return wrap(type, make());
        });
    }

    // The order of work of an instance method with one parameter, in one
    // place: match the argument, check (and hold) the receiver, convert the
    // argument with `convert(argument, name) -> std::optional<T>`, then
    // return `body(native value, converted argument)`. The first failure ends
    // the call with its exception.
    template <class Convert, class Body>
    static PyObject* call_with_one_argument(const OneParameter& parameter, PyObject* self, PyObject* const* args,
                                            Py_ssize_t nargsf, PyObject* kwnames, Convert convert, Body body) {
        PyObject* argument = match_one_argument(parameter, args, nargsf, kwnames);
        if (argument == nullptr) {
            return nullptr;
        }
        const Receiver held = receiver(self);
        if (!held) {
            return nullptr;
        }
        const auto converted = convert(argument, parameter.name);
        if (!converted) {
            return nullptr;
        }
        return body(*held.value, *converted);
    }

private:
    static void dealloc(PyObject* self) {
        PyTypeObject* type = Py_TYPE(self);
        reinterpret_cast<Object*>(self)->value.~Native();
        auto free_memory = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
        free_memory(self);
        Py_DECREF(type);  // an instance of a heap type holds a reference to its type
    }

    static void* length_slot() noexcept {
        if constexpr (HasLength<Traits>) {
            return reinterpret_cast<void*>(&length);
        } else {
            return nullptr;
        }
    }

    static Py_ssize_t length(PyObject* self) requires HasLength<Traits> {
        return guarded([self]() -> Py_ssize_t {
            const Receiver held = receiver(self);
            if (!held) {
                return -1;
            }
            const std::uint64_t count = Traits::length(*held.value);
            if (count > static_cast<std::uint64_t>(PY_SSIZE_T_MAX)) {
                PyErr_SetNone(PyExc_OverflowError);
                return -1;
            }
            return static_cast<Py_ssize_t>(count);
        });
    }

    static inline ProcessSlot<PyTypeObject> type_;
};

}  // namespace orbalin::pyfacade
