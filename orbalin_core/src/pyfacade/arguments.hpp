// Matching call arguments to parameters, with the interpreter's own wording.
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

// Matches a constructor call (positional tuple, keyword dict) against an
// empty parameter list: true when nothing was passed, else false with
// TypeError. Positional arguments are examined first.
[[nodiscard]] bool match_no_arguments(const char* full_name, PyObject* args, PyObject* kwargs);

}  // namespace orbalin::pyfacade
