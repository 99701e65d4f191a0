#pragma once

#include <string_view>

// The project version from CMake (the top CMakeLists.txt), the package's one
// version source.
#ifndef ORBALIN_VERSION
#error "ORBALIN_VERSION must be defined by the build"
#endif

namespace orbalin::pyfacade {

// The one text behind __version__ and PyFormulasRegistry.version().
inline constexpr std::string_view version_text = ORBALIN_VERSION;

}  // namespace orbalin::pyfacade
