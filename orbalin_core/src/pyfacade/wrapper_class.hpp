// What the three wrapper classes share: instances that own one native value,
// and the rules their slot tables point at (dealloc, the length, the receiver
// check, the constructor's argument matching), each written once here; the
// texts of a class joined at compile time from its one name; and the casts
// that the interpreter's tables need.
//
// A traits struct ties a class to these rules: `Native`, the wrapped value;
// `name`, the class name as a FixedText, from which every other name of the
// class is made; and `definition`, the type description. Each class's .cpp
// defines that description and its static slot table, with named fields, as
// CPython's own modules do.
#pragma once

#include <Python.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <new>
#include <type_traits>
#include <utility>

#include "pyfacade/arguments.hpp"
#include "pyfacade/compat.hpp"
#include "pyfacade/conversion.hpp"
#include "pyfacade/failure.hpp"
#include "pyfacade/owned_ref.hpp"
#include "pyfacade/process_slot.hpp"

namespace orbalin::pyfacade {

// The three classes, each created on first use and kept for the process:
// borrowed, or null with an error set.

// PyFormulasRegistry: a constants registry built at creation and owned by the instance.
[[nodiscard]] PyTypeObject* formulas_registry_type();

// PyQuarkRegistry: an (empty) quark registry owned by the instance.
[[nodiscard]] PyTypeObject* quark_registry_type();

// PyCKMMatrix: the mixing matrix, held by value; made only by from_topology().
[[nodiscard]] PyTypeObject* ckm_matrix_type();

// --- Texts fixed at compile time ---------------------------------------------
//
// A wrapper class's dotted name and the names its messages use are all made
// from its one class name, so a renamed class cannot leave one of them behind.

// A string literal's characters, held by value so that constants can be made
// by joining others, and usable as a template argument.
template <std::size_t Size>
struct FixedText {
    char text[Size]{};  // the characters and the terminating zero

    constexpr FixedText() noexcept = default;
    // Implicit, so that a literal can stand where a FixedText is expected.
    // NOLINTNEXTLINE(google-explicit-constructor,hicpp-explicit-conversions)
    constexpr FixedText(const char (&literal)[Size]) noexcept { std::copy_n(literal, Size, text); }

    [[nodiscard]] constexpr const char* c_str() const noexcept { return text; }
};

// The parts one after another, as one text.
template <std::size_t... Sizes>
consteval auto join(const FixedText<Sizes>&... parts) noexcept {
    FixedText<(Sizes + ...) - sizeof...(Sizes) + 1> joined;
    char* end = joined.text;
    ((end = std::copy_n(parts.text, Sizes - 1, end)), ...);
    return joined;
}

// --- Casts for the interpreter's tables ---------------------------------------

// Method tables store every function as PyCFunction and the interpreter
// calls it by the signature its flags announce; the cast is written once here.
template <class Function>
PyCFunction as_method(Function* function) noexcept {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

// Slot tables store every function and text as void*, and the interpreter
// reads each as its slot's id announces; the casts are written once here.
template <class Function>
requires std::is_function_v<Function>
void* as_slot(Function* function) noexcept {
    return reinterpret_cast<void*>(function);
}

// A text the interpreter only reads (the docstring).
inline void* as_slot(const char* text) noexcept {
    return const_cast<char*>(text);
}

// --- The classes' common rules ------------------------------------------------

// The flags of every wrapper type, and nothing else: no subclassing, no
// __dict__, no weak references, no cyclic GC (a native value holds no Python
// object). Immutable, because a replaced `__new__` could make instances whose
// native value was never constructed, and a reassigned `__class__` could make
// one class's value be read as another's.
inline constexpr unsigned int wrapper_type_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE;

// tp_new of a class without a constructor: refuses every call, naming the
// class ("<unknown>" if its name cannot be read).
inline PyObject* refuse_construction(PyTypeObject* type, PyObject* /*args*/, PyObject* /*kwargs*/) {
    const OwnedRef name = type_name(type);
    if (!name) {
        PyErr_Clear();
        PyErr_SetString(PyExc_TypeError, "No constructor defined for <unknown>");
        return nullptr;
    }
    PyErr_Format(PyExc_TypeError, "No constructor defined for %U", name.get());
    return nullptr;
}

template <class Traits>
class WrapperClass {
public:
    using Native = typename Traits::Native;

    struct Object {
        PyObject_HEAD Native value;
    };

    // For the type description: the instance size, and the dotted name that
    // puts the class in builtins.
    static constexpr int basic_size = static_cast<int>(sizeof(Object));
    static constexpr auto dotted_name = join(FixedText{"builtins."}, Traits::name);

    // How messages name the constructor and the methods: "<name>.__new__()",
    // "<name>.<method>()".
    static constexpr auto constructor_name = join(Traits::name, FixedText{".__new__()"});
    template <FixedText Method>
    static constexpr auto method_name = join(Traits::name, FixedText{"."}, Method, FixedText{"()"});

    // The type object, created from the class's description on first use and
    // kept for the process. Borrowed; null with an error set when it cannot
    // be created.
    static PyTypeObject* type() {
        return type_.get_or_create(
            [] { return reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&Traits::definition)); });
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
            raise_cannot_convert(self, Traits::name.c_str());
            return {};
        }
        return {OwnedRef::new_ref(self), &reinterpret_cast<Object*>(self)->value};
    }

    // An instance method with one parameter: the order of work of every
    // one-argument call (arguments.hpp), with the receiver checked and held
    // between matching and conversion; `body(native value, converted
    // argument)`.
    template <class Convert, class Body>
    static PyObject* call_with_one_argument(const OneParameter& parameter, PyObject* self, PyObject* const* args,
                                            Py_ssize_t nargsf, PyObject* kwnames, Convert convert, Body body) {
        return pyfacade::call_with_one_argument(
            parameter, args, nargsf, kwnames, [self] { return receiver(self); }, convert,
            [&body](const Receiver& held, const auto& argument) { return body(*held.value, argument); });
    }

    // The slot functions of the tables.

    // tp_new of a class whose constructor takes no arguments: refuses any
    // argument with the messages of "<name>.__new__()", then wraps what
    // `Make()` builds (native work).
    template <auto Make>
    static PyObject* construct_without_arguments(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
        if (!match_no_arguments(constructor_name.c_str(), args, kwargs)) {
            return nullptr;
        }
        auto value = run_native(Make);
        if (!value) {
            return nullptr;
        }
        return wrap(type, std::move(*value));
    }

    static void dealloc(PyObject* self) {
        PyTypeObject* type = Py_TYPE(self);
        reinterpret_cast<Object*>(self)->value.~Native();
        auto free_memory = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
        free_memory(self);
        Py_DECREF(type);  // an instance of a heap type holds a reference to its type
    }

    // mp_length: what `Count` (a member of Native returning std::uint64_t)
    // says, as a Py_ssize_t; OverflowError beyond its range.
    template <auto Count>
    static Py_ssize_t length(PyObject* self) {
        const Receiver held = receiver(self);
        if (!held) {
            return -1;
        }
        const auto count = run_native([&held] { return std::invoke(Count, *held.value); });
        if (!count) {
            return -1;
        }
        if (*count > static_cast<std::uint64_t>(PY_SSIZE_T_MAX)) {
            PyErr_SetNone(PyExc_OverflowError);
            return -1;
        }
        return static_cast<Py_ssize_t>(*count);
    }

private:
    static inline ProcessSlot<PyTypeObject> type_;
};

}  // namespace orbalin::pyfacade
