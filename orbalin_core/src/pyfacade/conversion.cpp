#include "pyfacade/conversion.hpp"

#include <cstdint>
#include <cstring>
#include <utility>

#include "pyfacade/compat.hpp"
#include "pyfacade/failure.hpp"
#include "pyfacade/owned_ref.hpp"

namespace orbalin::pyfacade {

// --- Arguments ---------------------------------------------------------------

namespace {

// Replaces a pending TypeError by TypeError "argument '<parameter>': <text>",
// keeping the replaced error's cause as the new error's cause. Any other
// pending exception is left as it is.
void name_the_argument(const char* parameter) {
    if (!PyErr_ExceptionMatches(PyExc_TypeError)) {
        return;
    }
    const OwnedRef replaced = take_raised_exception();
    const OwnedRef text = OwnedRef::steal(PyObject_Str(replaced.get()));
    if (!text) {
        ensure_error_set();
        return;
    }
    PyErr_Format(PyExc_TypeError, "argument '%s': %U", parameter, text.get());
    PyObject* cause = PyException_GetCause(replaced.get());  // new reference or null
    if (cause == nullptr) {
        return;
    }
    OwnedRef replacement = take_raised_exception();
    PyException_SetCause(replacement.get(), cause);  // steals `cause`
    restore_raised_exception(std::move(replacement));
}

}  // namespace

void raise_cannot_convert(PyObject* obj, const char* target) {
    const OwnedRef qualname = type_qualname(Py_TYPE(obj));
    if (!qualname) {
        ensure_error_set();
        return;
    }
    PyErr_Format(PyExc_TypeError, "'%U' object cannot be converted to '%s'", qualname.get(), target);
}

std::optional<std::string_view> text_argument(PyObject* argument, const char* parameter) {
    if (!PyUnicode_Check(argument)) {
        raise_cannot_convert(argument, "PyString");
        name_the_argument(parameter);
        return std::nullopt;
    }
    // A compact ASCII str is its own UTF-8, stored right after the object:
    // read in place, as PyUnicode_AsUTF8AndSize would, without the call.
    if (PyUnicode_IS_COMPACT_ASCII(argument)) {
        return std::string_view(static_cast<const char*>(PyUnicode_DATA(argument)),
                                static_cast<std::size_t>(PyUnicode_GET_LENGTH(argument)));
    }
    Py_ssize_t size = 0;
    const char* bytes = PyUnicode_AsUTF8AndSize(argument, &size);
    if (bytes == nullptr) {
        ensure_error_set();
        name_the_argument(parameter);
        return std::nullopt;
    }
    return std::string_view(bytes, static_cast<std::size_t>(size));
}

std::optional<double> double_argument(PyObject* argument, const char* parameter) {
    if (PyFloat_CheckExact(argument)) {
        return PyFloat_AS_DOUBLE(argument);
    }
    const double value = PyFloat_AsDouble(argument);
    if (value == -1.0 && PyErr_Occurred() != nullptr) {
        name_the_argument(parameter);
        return std::nullopt;
    }
    return value;
}

// --- Texts and name lists ---------------------------------------------------

namespace {

// Copies `text` to `to` and tells whether every byte was ASCII, in one pass
// of a few word moves: names are short, so overlapping loads of the first
// and last words cover them without a byte loop or a call to memcpy.
template <class Word>
Word move_word(const char* from, char* to) noexcept {
    Word word = 0;
    std::memcpy(&word, from, sizeof word);
    std::memcpy(to, &word, sizeof word);
    return word;
}

bool copy_if_ascii(std::string_view text, char* to) noexcept {
    const char* from = text.data();
    const std::size_t size = text.size();
    if (size >= 8) {
        std::uint64_t seen = 0;
        for (std::size_t at = 0; at + 8 < size; at += 8) {
            seen |= move_word<std::uint64_t>(from + at, to + at);
        }
        seen |= move_word<std::uint64_t>(from + size - 8, to + size - 8);  // the last word, overlapping
        return (seen & 0x8080808080808080ULL) == 0;
    }
    if (size >= 4) {
        const std::uint32_t seen =
            move_word<std::uint32_t>(from, to) | move_word<std::uint32_t>(from + size - 4, to + size - 4);
        return (seen & 0x80808080U) == 0;
    }
    if (size >= 2) {
        const auto seen = static_cast<std::uint16_t>(move_word<std::uint16_t>(from, to) |
                                                     move_word<std::uint16_t>(from + size - 2, to + size - 2));
        return (seen & 0x8080U) == 0;
    }
    if (size == 1) {
        to[0] = from[0];
        return static_cast<unsigned char>(from[0]) < 0x80;
    }
    return true;
}

}  // namespace

OwnedRef new_str(std::string_view text) {
    const auto size = static_cast<Py_ssize_t>(text.size());
    // The empty text and single characters come from the interpreter's own
    // shared objects, which only PyUnicode_FromStringAndSize hands out.
    if (size < 2) {
        return OwnedRef::steal(PyUnicode_FromStringAndSize(text.data(), size));
    }
    // Assume ASCII, which every registry name is in practice: a compact str
    // is filled in place (its terminator is already there). Anything else is
    // decoded as UTF-8 instead.
    OwnedRef str = OwnedRef::steal(PyUnicode_New(size, 0x7f));
    if (!str || copy_if_ascii(text, static_cast<char*>(PyUnicode_DATA(str.get())))) {
        return str;
    }
    return OwnedRef::steal(PyUnicode_FromStringAndSize(text.data(), size));  // `str`, never shared, goes
}

OwnedRef names_to_list(std::span<const std::string_view> names) {
    OwnedRef list = OwnedRef::steal(PyList_New(static_cast<Py_ssize_t>(names.size())));
    if (!list) {
        ensure_error_set();
        return {};
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        OwnedRef item = new_str(names[i]);
        if (!item) {
            // The list still has empty slots, which no Python code may ever
            // see, and releasing the items stored so far may run some (a
            // finalizer the collector calls): the list goes at once, with
            // the interpreter's error still pending for the caller.
            list = OwnedRef();
            ensure_error_set();
            return {};
        }
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item.release());  // the list takes the reference
    }
    return list;
}

// --- Refusals ----------------------------------------------------------------

void Refusal::raise() const {
    const OwnedRef text =
        OwnedRef::steal(PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
    if (!text) {
        ensure_error_set();
        return;
    }
    // A str (not a tuple) as the value: the exception gets it as its one argument.
    PyErr_SetObject(type, text.get());
}

}  // namespace orbalin::pyfacade
