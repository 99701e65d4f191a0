// Name lists handed to Python.
#pragma once

#include <Python.h>

#include <string>
#include <vector>

namespace orbalin::pyfacade {

// A new list of str, one per name in order; each owned text is released as
// soon as its str exists. When the interpreter cannot build the list or a str,
// the internal check fails ("Python API call failed") and null is returned.
[[nodiscard]] PyObject* names_to_list(std::vector<std::string> names) noexcept;

}  // namespace orbalin::pyfacade
