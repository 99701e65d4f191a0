// The module's classes. Each getter returns the class object, created on
// first use and kept for the process: borrowed, or null with an error set.
#pragma once

#include <Python.h>

namespace orbalin::pyfacade {

// PyFormulasRegistry: a constants registry built at creation and owned by the instance.
[[nodiscard]] PyTypeObject* formulas_registry_type();

// PyQuarkRegistry: an (empty) quark registry owned by the instance.
[[nodiscard]] PyTypeObject* quark_registry_type();

// PyCKMMatrix: the mixing matrix, held by value; made only by from_topology().
[[nodiscard]] PyTypeObject* ckm_matrix_type();

// The classes in the order of the module namespace and of __all__, where
// they come ahead of the functions.
using TypeGetter = PyTypeObject* (*)();
inline constexpr TypeGetter module_types[] = {&formulas_registry_type, &quark_registry_type, &ckm_matrix_type};

}  // namespace orbalin::pyfacade
