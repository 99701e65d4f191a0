// Registry errors reach Python as KeyError carrying the error's message.
#pragma once

#include <Python.h>

#include "formulas/registry_error.hpp"

namespace orbalin::pyfacade {

// Sets KeyError(message) for every kind of RegistryError alike; the kinds are
// told apart only by their text. Always returns null.
PyObject* raise_registry_error(const formulas::RegistryError& error);

}  // namespace orbalin::pyfacade
