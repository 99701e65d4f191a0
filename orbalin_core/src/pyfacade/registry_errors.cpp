#include "pyfacade/registry_errors.hpp"

#include "pyfacade/failure.hpp"
#include "pyfacade/owned_ref.hpp"

namespace orbalin::pyfacade {

PyObject* raise_registry_error(const formulas::RegistryError& error) {
    return guarded([&error]() -> PyObject* {
        const std::string message = error.message();
        const OwnedRef text =
            OwnedRef::steal(PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
        if (!text) {
            return ensure_error_set();
        }
        // A str (not a tuple) as the value: KeyError gets it as its one argument.
        PyErr_SetObject(PyExc_KeyError, text.get());
        return nullptr;
    });
}

}  // namespace orbalin::pyfacade
