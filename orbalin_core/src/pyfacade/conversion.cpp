#include "pyfacade/conversion.hpp"

#include <utility>

#include "pyfacade/compat.hpp"
#include "pyfacade/failure.hpp"
#include "pyfacade/owned_ref.hpp"

namespace orbalin::pyfacade {
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

PyObject* Refusal::raise() const {
    const OwnedRef text =
        OwnedRef::steal(PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
    if (!text) {
        return ensure_error_set();
    }
    // A str (not a tuple) as the value: the exception gets it as its one argument.
    PyErr_SetObject(type, text.get());
    return nullptr;
}

}  // namespace orbalin::pyfacade
