#pragma once

#include <string_view>

namespace orbalin::pyfacade {

// The one literal behind __version__ and PyFormulasRegistry.version().
inline constexpr std::string_view version_text = "2.3.0";

}  // namespace orbalin::pyfacade
