#pragma once

#include <Python.h>

namespace orbalin::pyfacade {

// Method tables store every function as PyCFunction and the interpreter
// calls it by the signature its flags announce; the cast is written once here.
template <class Function>
PyCFunction as_method(Function* function) noexcept {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

}  // namespace orbalin::pyfacade
