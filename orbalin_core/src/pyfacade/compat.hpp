// Interpreter calls that differ between the CPython versions we support (3.10+).
#pragma once

#include <Python.h>

#include "pyfacade/owned_ref.hpp"

namespace orbalin::pyfacade {

// The type's __qualname__ / __name__ as a new str, or empty with an error set.
// PyType_GetQualName and PyType_GetName arrived in 3.11; before that the names
// stored in the type object are read the same way, never its attributes.
[[nodiscard]] OwnedRef type_qualname(PyTypeObject* type);
[[nodiscard]] OwnedRef type_name(PyTypeObject* type);

// Takes the pending exception out of the error indicator as one normalized
// exception object (empty when none is pending).
[[nodiscard]] OwnedRef take_raised_exception();

// Makes `exception` (an exception instance) the pending exception.
void restore_raised_exception(OwnedRef exception);

}  // namespace orbalin::pyfacade
