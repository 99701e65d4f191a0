#include "pyfacade/wrapper_class.hpp"

#include "pyfacade/compat.hpp"

namespace orbalin::pyfacade {

PyObject* refuse_construction(PyTypeObject* type, PyObject* /*args*/, PyObject* /*kwargs*/) {
    const OwnedRef name = type_name(type);
    if (!name) {
        PyErr_Clear();
        PyErr_SetString(PyExc_TypeError, "No constructor defined for <unknown>");
        return nullptr;
    }
    PyErr_Format(PyExc_TypeError, "No constructor defined for %U", name.get());
    return nullptr;
}

}  // namespace orbalin::pyfacade
