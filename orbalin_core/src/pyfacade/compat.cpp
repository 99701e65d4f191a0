#include "pyfacade/compat.hpp"

#include <cstring>

namespace orbalin::pyfacade {

#if PY_VERSION_HEX < 0x030B0000
namespace {

// What 3.11's PyType_GetName and PyType_GetQualName answer, without asking the
// type: reading `__qualname__` as an attribute would let a metaclass answer
// with any object, and formatting a non-str with %U reads raw memory. A heap
// type stores both names as str (the setters enforce it); a static type has
// only tp_name, whose last dotted part is the name.
OwnedRef last_part_of_tp_name(PyTypeObject* type) {
    const char* dotted = type->tp_name;
    const char* dot = std::strrchr(dotted, '.');
    return OwnedRef::steal(PyUnicode_FromString(dot != nullptr ? dot + 1 : dotted));
}

OwnedRef stored_name(PyTypeObject* type, bool qualified) {
    if (PyType_HasFeature(type, Py_TPFLAGS_HEAPTYPE)) {
        auto* heap_type = reinterpret_cast<PyHeapTypeObject*>(type);
        PyObject* stored = qualified ? heap_type->ht_qualname : heap_type->ht_name;
        if (stored != nullptr && PyUnicode_Check(stored)) {
            return OwnedRef::new_ref(stored);
        }
    }
    return last_part_of_tp_name(type);
}

}  // namespace
#endif

OwnedRef type_qualname(PyTypeObject* type) {
#if PY_VERSION_HEX >= 0x030B0000
    return OwnedRef::steal(PyType_GetQualName(type));
#else
    return stored_name(type, true);
#endif
}

OwnedRef type_name(PyTypeObject* type) {
#if PY_VERSION_HEX >= 0x030B0000
    return OwnedRef::steal(PyType_GetName(type));
#else
    return stored_name(type, false);
#endif
}

OwnedRef take_raised_exception() {
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

void restore_raised_exception(OwnedRef exception) {
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
