// The module-level functions, added by the module body.
#pragma once

#include <Python.h>

#include <span>

namespace orbalin::pyfacade {

// The functions' static entries (name, calling convention, text-signature
// docstring) in the order of the module namespace and of __all__, where they
// follow the classes. They live for the process, as the function objects
// made from them require.
[[nodiscard]] std::span<PyMethodDef> module_functions() noexcept;

// Bodies that live in files of their own, named for what they do.
PyObject* py_get_constant(PyObject* module, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);

}  // namespace orbalin::pyfacade
