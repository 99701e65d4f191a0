// Matching call arguments to parameters, with the interpreter's own wording,
// and the order of work of a call with one parameter.
#pragma once

#include <Python.h>

namespace orbalin::pyfacade {

// One required parameter, by position or keyword. `full_name` is how
// messages name the callable: "PyFormulasRegistry.get()", "py_get_constant()".
struct OneParameter {
    const char* full_name;
    const char* name;
};

// Matches a METH_FASTCALL | METH_KEYWORDS call against `parameter` and
// returns the argument (borrowed from the call), or null with TypeError:
// more than one positional argument; the parameter given twice; any other
// keyword; no argument at all. Checked in that order.
[[nodiscard]] PyObject* match_other_calls(const OneParameter& parameter, PyObject* const* args, Py_ssize_t nargsf,
                                          PyObject* kwnames);

// The same; the call made nearly always, one positional argument, is
// settled inline, without a function call.
[[nodiscard]] inline PyObject* match_one_argument(const OneParameter& parameter, PyObject* const* args,
                                                  Py_ssize_t nargsf, PyObject* kwnames) {
    if (kwnames == nullptr && PyVectorcall_NARGS(static_cast<std::size_t>(nargsf)) == 1) {
        return args[0];
    }
    return match_other_calls(parameter, args, nargsf, kwnames);
}

// The order of work of every call with one parameter, in one place: match
// the argument, take the receiver with `receive()` (a method checks and holds
// its receiver there), convert the argument with
// `convert(argument, name) -> std::optional<T>`, then return
// `body(receiver, converted argument)`. The first failure ends the call with
// its exception.
template <class Receive, class Convert, class Body>
PyObject* call_with_one_argument(const OneParameter& parameter, PyObject* const* args, Py_ssize_t nargsf,
                                 PyObject* kwnames, Receive receive, Convert convert, Body body) {
    PyObject* argument = match_one_argument(parameter, args, nargsf, kwnames);
    if (argument == nullptr) {
        return nullptr;
    }
    const auto receiver = receive();
    if (!receiver) {
        return nullptr;
    }
    const auto converted = convert(argument, parameter.name);
    if (!converted) {
        return nullptr;
    }
    return body(receiver, *converted);
}

// The same for a module function, which has no receiver:
// `body(converted argument)`.
template <class Convert, class Body>
PyObject* call_with_one_argument(const OneParameter& parameter, PyObject* const* args, Py_ssize_t nargsf,
                                 PyObject* kwnames, Convert convert, Body body) {
    return call_with_one_argument(
        parameter, args, nargsf, kwnames, [] { return true; }, convert,
        [&body](bool /*no_receiver*/, const auto& argument) { return body(argument); });
}

// Matches a constructor call (positional tuple, keyword dict) against an
// empty parameter list: true when nothing was passed, else false with
// TypeError. Positional arguments are examined first.
[[nodiscard]] bool match_no_arguments(const char* full_name, PyObject* args, PyObject* kwargs);

}  // namespace orbalin::pyfacade
