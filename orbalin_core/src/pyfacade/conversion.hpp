// Converting between Python and native values, with the module's messages:
// arguments in; texts, name lists and refusals decided by native code out.
#pragma once

#include <Python.h>

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "formulas/registry_error.hpp"
#include "pyfacade/failure.hpp"
#include "pyfacade/owned_ref.hpp"

namespace orbalin::pyfacade {

// TypeError "'<qualified type name of obj>' object cannot be converted to '<target>'".
void raise_cannot_convert(PyObject* obj, const char* target);

// The UTF-8 bytes of a str (or str subclass) argument, borrowed from the
// object: valid while the caller holds `argument`. A non-str is refused with
// "argument '<parameter>': '<type>' object cannot be converted to 'PyString'";
// a str without UTF-8 form (a lone surrogate) raises UnicodeEncodeError.
[[nodiscard]] std::optional<std::string_view> text_argument(PyObject* argument, const char* parameter);

// A real-number argument: an exact float directly, anything else through the
// interpreter's float conversion (int, bool, __float__, __index__). -1.0 is a
// failure only when an error is pending. A TypeError is reported as
// "argument '<parameter>': <its text>".
[[nodiscard]] std::optional<double> double_argument(PyObject* argument, const char* parameter);

// A new str holding the UTF-8 `text`; empty with an error set on failure.
// ASCII text, which every registry name is in practice, is copied straight
// into a compact str instead of going through the UTF-8 decoder.
[[nodiscard]] OwnedRef new_str(std::string_view text);

// A new list of str, one per name in order. When the interpreter cannot build
// the list or a str, the result is empty with the interpreter's own error
// (MemoryError) pending, and no part of the list is left behind.
[[nodiscard]] OwnedRef names_to_list(std::span<const std::string_view> names);

// An exception decided by native code, raised once the native work is done
// (raising calls into the interpreter, which native work never does). `type`
// is one of the interpreter's own classes, which live for the process.
struct Refusal {
    PyObject* type = nullptr;
    std::string message;

    // Every RegistryError reaches Python as KeyError carrying its message; the
    // kinds are told apart only by their text.
    [[nodiscard]] static Refusal from(const formulas::RegistryError& error) {
        return {PyExc_KeyError, error.message()};
    }

    // Sets type(message), the message as the single argument.
    void raise() const;
};

// Runs native `work` (see run_native) that returns a Refusal when it refuses
// and nothing when it is done; once it has ended, raises what it threw or
// refused. True when it did neither.
template <class Work>
[[nodiscard]] bool run_native_unrefused(Work&& work) {
    const std::optional<std::optional<Refusal>> refusal = run_native(work);
    if (refusal && *refusal) {
        (*refusal)->raise();
    }
    return refusal && !*refusal;
}

}  // namespace orbalin::pyfacade
