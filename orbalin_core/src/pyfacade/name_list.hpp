// Name lists handed to Python.
#pragma once

#include <Python.h>

#include <string>
#include <utility>
#include <vector>

#include "pyfacade/failure.hpp"

namespace orbalin::pyfacade {

// A new list of str, one per name in order; each owned text is released as
// soon as its str exists. When the interpreter cannot build the list or a str,
// the internal check fails ("Python API call failed") and null is returned.
[[nodiscard]] PyObject* names_to_list(std::vector<std::string> names) noexcept;

// The sorted names of a registry that `build()` makes for this call alone, as
// a new list of str. The registry is destroyed before the list is made.
template <class Build>
[[nodiscard]] PyObject* names_of_fresh_registry(Build build) noexcept {
    return guarded([&]() -> PyObject* {
        std::vector<std::string> names = build().sorted_names();
        return names_to_list(std::move(names));
    });
}

}  // namespace orbalin::pyfacade
