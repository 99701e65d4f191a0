#include "pyfacade/module_entries.hpp"

#include "pyfacade/conversion.hpp"
#include "pyfacade/failure.hpp"
#include "pyfacade/owned_ref.hpp"

namespace orbalin::pyfacade {
namespace {

// The module's __all__ as a new reference, created empty on first need.
OwnedRef all_list(PyObject* module) {
    OwnedRef all = OwnedRef::steal(PyObject_GetAttrString(module, "__all__"));
    if (all) {
        if (!PyList_Check(all.get())) {
            raise_cannot_convert(all.get(), "PyList");
            return {};
        }
        return all;
    }
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) {
        ensure_error_set();
        return {};
    }
    PyErr_Clear();
    all = OwnedRef::steal(PyList_New(0));
    if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) {
        ensure_error_set();
        return {};
    }
    return all;
}

}  // namespace

bool add_entry(PyObject* module, PyObject* name, PyObject* value) {
    const OwnedRef all = all_list(module);
    if (!all) {
        return false;
    }
    if (PyList_Append(all.get(), name) < 0) {
        fail_check("could not append __name__ to __all__");
        return false;
    }
    if (PyObject_SetAttr(module, name, value) < 0) {
        ensure_error_set();
        return false;
    }
    return true;
}

bool add_named_entry(PyObject* module, PyObject* value) {
    const OwnedRef name = OwnedRef::steal(PyObject_GetAttrString(value, "__name__"));
    if (!name) {
        ensure_error_set();
        return false;
    }
    if (!PyUnicode_Check(name.get())) {
        raise_cannot_convert(name.get(), "PyString");
        return false;
    }
    return add_entry(module, name.get(), value);
}

PyObject* make_module_function(PyObject* module, PyMethodDef* entry) {
    const OwnedRef module_name = OwnedRef::steal(PyModule_GetNameObject(module));
    if (!module_name) {
        return ensure_error_set();
    }
    PyObject* function = PyCMethod_New(entry, module, module_name.get(), nullptr);
    if (function == nullptr) {
        return ensure_error_set();
    }
    return function;
}

}  // namespace orbalin::pyfacade
