#include "pyfacade/arguments.hpp"

#include <cstddef>

namespace orbalin::pyfacade {
namespace {

// "arguments" stays plural even for one parameter: the established wording.
void raise_too_many_positional(const char* full_name, Py_ssize_t parameters, Py_ssize_t given) {
    PyErr_Format(PyExc_TypeError, "%s takes %zd positional arguments but %zd %s given", full_name, parameters, given,
                 given == 1 ? "was" : "were");
}

void raise_unexpected_keyword(const char* full_name, PyObject* keyword) {
    if (PyUnicode_Check(keyword)) {
        PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%U'", full_name, keyword);
    } else {
        PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%S'", full_name, keyword);
    }
}

}  // namespace

PyObject* match_other_calls(const OneParameter& parameter, PyObject* const* args, Py_ssize_t nargsf,
                            PyObject* kwnames) {
    const Py_ssize_t nargs = PyVectorcall_NARGS(static_cast<std::size_t>(nargsf));
    if (nargs > 1) {
        raise_too_many_positional(parameter.full_name, 1, nargs);
        return nullptr;
    }
    PyObject* matched = nargs == 1 ? args[0] : nullptr;
    const Py_ssize_t nkw = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t i = 0; i < nkw; ++i) {
        PyObject* keyword = PyTuple_GET_ITEM(kwnames, i);
        // Keywords are str (subclasses included); CompareWithASCIIString
        // compares lengths too, so "name\0" does not pass for "name".
        if (PyUnicode_Check(keyword) == 0 || PyUnicode_CompareWithASCIIString(keyword, parameter.name) != 0) {
            raise_unexpected_keyword(parameter.full_name, keyword);
            return nullptr;
        }
        if (matched != nullptr) {
            PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'", parameter.full_name,
                         parameter.name);
            return nullptr;
        }
        matched = args[nargs + i];
    }
    if (matched == nullptr) {
        PyErr_Format(PyExc_TypeError, "%s missing 1 required positional argument: '%s'", parameter.full_name,
                     parameter.name);
    }
    return matched;
}

bool match_no_arguments(const char* full_name, PyObject* args, PyObject* kwargs) {
    const Py_ssize_t nargs = args == nullptr ? 0 : PyTuple_GET_SIZE(args);
    if (nargs > 0) {
        raise_too_many_positional(full_name, 0, nargs);
        return false;
    }
    if (kwargs != nullptr && PyDict_GET_SIZE(kwargs) > 0) {
        Py_ssize_t position = 0;
        PyObject* keyword = nullptr;
        PyObject* value = nullptr;
        PyDict_Next(kwargs, &position, &keyword, &value);
        raise_unexpected_keyword(full_name, keyword);
        return false;
    }
    return true;
}

}  // namespace orbalin::pyfacade
