// PyQuarkRegistry: an (empty) quark registry owned by the instance.
#pragma once

#include <Python.h>

namespace orbalin::pyfacade {

// The class object (kept for the process); borrowed, or null with an error set.
[[nodiscard]] PyTypeObject* quark_registry_type();

}  // namespace orbalin::pyfacade
