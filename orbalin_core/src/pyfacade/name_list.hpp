// Name lists handed to Python.
#pragma once

#include <Python.h>

#include <span>
#include <string_view>
#include <vector>

#include "pyfacade/failure.hpp"

namespace orbalin::pyfacade {

// A new str holding the UTF-8 `text`; null with an error set on failure.
// ASCII text, which every registry name is in practice, is copied straight
// into a compact str instead of going through the UTF-8 decoder.
[[nodiscard]] PyObject* new_str(std::string_view text);

// A new list of str, one per name in order. When the interpreter cannot build
// the list or a str, the internal check fails ("Python API call failed") and
// null is returned.
[[nodiscard]] PyObject* names_to_list(std::span<const std::string_view> names);

// The sorted names of a registry that `build()` makes for this call alone, as
// a new list of str. The names are read as views of the registry's own keys,
// so each is copied once, into its str; the registry is destroyed before the
// list is returned. Building and sorting are native work: the interpreter is
// called only for the list.
template <class Build>
[[nodiscard]] PyObject* names_of_fresh_registry(Build build) {
    const auto registry = run_native(build);
    if (!registry) {
        return nullptr;
    }
    const auto names = run_native([&registry] { return registry->sorted_name_views(); });
    if (!names) {
        return nullptr;
    }
    return names_to_list(*names);
}

}  // namespace orbalin::pyfacade
