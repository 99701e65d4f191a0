// Converting Python arguments to native values, with the module's messages.
#pragma once

#include <Python.h>

#include <optional>
#include <string_view>

namespace orbalin::pyfacade {

// TypeError "'<qualified type name of obj>' object cannot be converted to '<target>'".
void raise_cannot_convert(PyObject* obj, const char* target);

// The UTF-8 bytes of a str (or str subclass) argument, borrowed from the
// object: valid while the caller holds `argument`. A non-str is refused with
// "argument '<parameter>': '<type>' object cannot be converted to 'PyString'";
// a str without UTF-8 form (a lone surrogate) raises UnicodeEncodeError.
[[nodiscard]] std::optional<std::string_view> text_argument(PyObject* argument, const char* parameter);

// A real-number argument: an exact float directly, anything else through the
// interpreter's float conversion (int, bool, __float__, __index__). -1.0 is a
// failure only when an error is pending. A TypeError is reported as
// "argument '<parameter>': <its text>".
[[nodiscard]] std::optional<double> double_argument(PyObject* argument, const char* parameter);

}  // namespace orbalin::pyfacade
