#include "pyfacade/compat.hpp"

namespace orbalin::pyfacade {

OwnedRef type_qualname(PyTypeObject* type) noexcept {
#if PY_VERSION_HEX >= 0x030B0000
    return OwnedRef::steal(PyType_GetQualName(type));
#else
    return OwnedRef::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__qualname__"));
#endif
}

OwnedRef type_name(PyTypeObject* type) noexcept {
#if PY_VERSION_HEX >= 0x030B0000
    return OwnedRef::steal(PyType_GetName(type));
#else
    return OwnedRef::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__name__"));
#endif
}

OwnedRef take_raised_exception() noexcept {
#if PY_VERSION_HEX >= 0x030C0000
    return OwnedRef::steal(PyErr_GetRaisedException());
#else
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    if (type == nullptr) {
        return {};
    }
    PyErr_NormalizeException(&type, &value, &traceback);
    if (traceback != nullptr && value != nullptr) {
        PyException_SetTraceback(value, traceback);
    }
    Py_XDECREF(type);
    Py_XDECREF(traceback);
    return OwnedRef::steal(value);
#endif
}

void restore_raised_exception(OwnedRef exception) noexcept {
#if PY_VERSION_HEX >= 0x030C0000
    PyErr_SetRaisedException(exception.release());
#else
    PyObject* value = exception.release();
    if (value == nullptr) {
        return;
    }
    auto* type = reinterpret_cast<PyObject*>(Py_TYPE(value));
    Py_INCREF(type);
    PyErr_Restore(type, value, PyException_GetTraceback(value));
#endif
}

}  // namespace orbalin::pyfacade
