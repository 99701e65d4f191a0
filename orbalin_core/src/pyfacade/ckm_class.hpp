// PyCKMMatrix: the mixing matrix, held by value; made only by from_topology().
#pragma once

#include <Python.h>

namespace orbalin::pyfacade {

// The class object (kept for the process); borrowed, or null with an error set.
[[nodiscard]] PyTypeObject* ckm_matrix_type();

}  // namespace orbalin::pyfacade
