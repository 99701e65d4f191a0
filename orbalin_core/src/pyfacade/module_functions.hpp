// Table entries of the module-level functions, added by the module body.
#pragma once

#include <Python.h>

namespace orbalin::pyfacade {

// Static entries (name, calling convention, text-signature docstring); they
// live for the process, as the function objects made from them require.
[[nodiscard]] PyMethodDef* list_constants_entry() noexcept;
[[nodiscard]] PyMethodDef* list_quarks_entry() noexcept;
[[nodiscard]] PyMethodDef* get_constant_entry() noexcept;

}  // namespace orbalin::pyfacade
