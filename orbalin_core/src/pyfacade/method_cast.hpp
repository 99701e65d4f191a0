#pragma once

#include <Python.h>

#include <type_traits>

namespace orbalin::pyfacade {

// Method tables store every function as PyCFunction and the interpreter
// calls it by the signature its flags announce; the cast is written once here.
template <class Function>
PyCFunction as_method(Function* function) noexcept {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

// Slot tables store every function and text as void*, and the interpreter
// reads each as its slot's id announces; the casts are written once here.
template <class Function>
requires std::is_function_v<Function>
void* as_slot(Function* function) noexcept {
    return reinterpret_cast<void*>(function);
}

// A text the interpreter only reads (the docstring).
inline void* as_slot(const char* text) noexcept {
    return const_cast<char*>(text);
}

}  // namespace orbalin::pyfacade
