// Filling the module namespace.
#pragma once

#include <Python.h>

namespace orbalin::pyfacade {

// Adds `value` under `name` and appends `name` to the module's __all__,
// creating the list when the module has none. Returns false with an error set.
[[nodiscard]] bool add_entry(PyObject* module, PyObject* name, PyObject* value);

// add_entry under the value's own __name__, which must be a str.
[[nodiscard]] bool add_named_entry(PyObject* module, PyObject* value);

// A built-in function made from a static table entry, bound to the module:
// __self__ is the module and __module__ its name. New reference, or null.
[[nodiscard]] PyObject* make_module_function(PyObject* module, PyMethodDef* entry);

}  // namespace orbalin::pyfacade
