#include "pyfacade/ckm_class.hpp"

#include <string>

#include "ckm/ckm_matrix.hpp"
#include "pyfacade/arguments.hpp"
#include "pyfacade/compat.hpp"
#include "pyfacade/conversion.hpp"
#include "pyfacade/wrapper_class.hpp"

namespace orbalin::pyfacade {
namespace {

struct CKMMatrixTraits {
    using Native = ckm::CKMMatrix;
    static constexpr const char* name = "PyCKMMatrix";
    static constexpr const char* dotted_name = "builtins.PyCKMMatrix";
    static constexpr const char* doc = "Python wrapper for [`CKMMatrix`].";  // no constructor, no signature

    static PyMethodDef* methods() noexcept;
    static PyObject* construct(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
        return refuse_construction(type, args, kwargs);
    }
};

using CKMMatrixClass = WrapperClass<CKMMatrixTraits>;

// "<exception type>: <its text>" (or the type alone) for the pending error,
// which is cleared.
std::string describe_pending_error() {
    const OwnedRef error = take_raised_exception();
    if (!error) {
        return "no error was set";
    }
    std::string description = Py_TYPE(error.get())->tp_name;
    const OwnedRef text = OwnedRef::steal(PyObject_Str(error.get()));
    Py_ssize_t size = 0;
    const char* bytes = text ? PyUnicode_AsUTF8AndSize(text.get(), &size) : nullptr;
    if (bytes == nullptr) {
        PyErr_Clear();
    } else if (size > 0) {
        description.append(": ").append(bytes, static_cast<std::size_t>(size));
    }
    return description;
}

PyObject* from_topology(PyObject* /*no_class*/, PyObject* /*no_args*/) {
    return guarded([]() -> PyObject* {
        PyTypeObject* type = CKMMatrixClass::type();
        if (type == nullptr) {
            return nullptr;
        }
        PyObject* matrix = CKMMatrixClass::wrap(type, ckm::CKMMatrix::from_topology());
        if (matrix == nullptr) {
            return fail_check("could not allocate a PyCKMMatrix: " + describe_pending_error());
        }
        return matrix;
    });
}

constexpr OneParameter tol_parameter{"PyCKMMatrix.is_unitary()", "tol"};

PyObject* is_unitary(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        return CKMMatrixClass::call_with_one_argument(
            tol_parameter, self, args, nargsf, kwnames, double_argument,
            [](const ckm::CKMMatrix& matrix, double tol) { return PyBool_FromLong(matrix.is_unitary(tol) ? 1 : 0); });
    });
}

PyObject* jarlskog(PyObject* self, PyObject* /*unused*/) {
    return guarded([self]() -> PyObject* {
        const auto held = CKMMatrixClass::receiver(self);
        if (!held) {
            return nullptr;
        }
        return PyFloat_FromDouble(held.value->jarlskog());
    });
}

PyMethodDef methods_table[] = {
    {"from_topology", from_topology, METH_STATIC | METH_NOARGS,
     "from_topology()\n--\n\nBuild the CKM matrix from the underlying topology."},
    {"is_unitary", as_method(is_unitary), METH_FASTCALL | METH_KEYWORDS,
     "is_unitary($self, tol)\n--\n\n`True` when the matrix is unitary within `tol`."},
    {"jarlskog", jarlskog, METH_NOARGS, "jarlskog($self)\n--\n\nCP-violation Jarlskog invariant J."},
    {nullptr, nullptr, 0, nullptr},
};

PyMethodDef* CKMMatrixTraits::methods() noexcept {
    return methods_table;
}

}  // namespace

PyTypeObject* ckm_matrix_type() {
    return CKMMatrixClass::type();
}

}  // namespace orbalin::pyfacade
