// PyFormulasRegistry: a constants registry built at creation and owned by the instance.
#pragma once

#include <Python.h>

namespace orbalin::pyfacade {

// The class object (kept for the process); borrowed, or null with an error set.
[[nodiscard]] PyTypeObject* formulas_registry_type();

}  // namespace orbalin::pyfacade
