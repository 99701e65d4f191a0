// PyCKMMatrix: the mixing matrix, held by value; made only by from_topology().
#include <cstddef>
#include <string_view>

#include "ckm/ckm_matrix.hpp"
#include "pyfacade/arguments.hpp"
#include "pyfacade/compat.hpp"
#include "pyfacade/conversion.hpp"
#include "pyfacade/wrapper_class.hpp"

namespace orbalin::pyfacade {
namespace {

struct CKMMatrixTraits {
    using Native = ckm::CKMMatrix;
    static constexpr FixedText name{"PyCKMMatrix"};
    static PyType_Spec definition;
};

using CKMMatrixClass = WrapperClass<CKMMatrixTraits>;

// "could not allocate a PyCKMMatrix: <exception type>: <its text>" (or the
// type alone) for the pending error, which is cleared, as a new str; empty
// when even that cannot be made.
OwnedRef describe_allocation_failure() {
    const OwnedRef error = take_raised_exception();
    if (!error) {
        return OwnedRef::steal(PyUnicode_FromString("could not allocate a PyCKMMatrix: no error was set"));
    }
    const char* type = Py_TYPE(error.get())->tp_name;
    const OwnedRef text = OwnedRef::steal(PyObject_Str(error.get()));
    if (!text) {
        PyErr_Clear();
    } else if (PyUnicode_GetLength(text.get()) > 0) {
        return OwnedRef::steal(PyUnicode_FromFormat("could not allocate a PyCKMMatrix: %s: %U", type, text.get()));
    }
    return OwnedRef::steal(PyUnicode_FromFormat("could not allocate a PyCKMMatrix: %s", type));
}

PyObject* from_topology(PyObject* /*no_class*/, PyObject* /*no_args*/) {
    PyTypeObject* type = CKMMatrixClass::type();
    if (type == nullptr) {
        return nullptr;
    }
    PyObject* matrix = CKMMatrixClass::wrap(type, ckm::CKMMatrix::from_topology());
    if (matrix != nullptr) {
        return matrix;
    }
    const OwnedRef description = describe_allocation_failure();
    Py_ssize_t size = 0;
    const char* bytes = description ? PyUnicode_AsUTF8AndSize(description.get(), &size) : nullptr;
    if (bytes == nullptr) {
        PyErr_Clear();
        return fail_check("could not allocate a PyCKMMatrix");
    }
    return fail_check(std::string_view(bytes, static_cast<std::size_t>(size)));
}

constexpr OneParameter tol_parameter{CKMMatrixClass::method_name<"is_unitary">.c_str(), "tol"};

PyObject* is_unitary(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return CKMMatrixClass::call_with_one_argument(
        tol_parameter, self, args, nargsf, kwnames, double_argument,
        [](const ckm::CKMMatrix& matrix, double tol) { return PyBool_FromLong(matrix.is_unitary(tol) ? 1 : 0); });
}

PyObject* jarlskog(PyObject* self, PyObject* /*unused*/) {
    const auto held = CKMMatrixClass::receiver(self);
    if (!held) {
        return nullptr;
    }
    return PyFloat_FromDouble(held.value->jarlskog());
}

PyMethodDef methods[] = {
    {"from_topology", from_topology, METH_STATIC | METH_NOARGS,
     "from_topology()\n--\n\nBuild the CKM matrix from the underlying topology."},
    {"is_unitary", as_method(is_unitary), METH_FASTCALL | METH_KEYWORDS,
     "is_unitary($self, tol)\n--\n\n`True` when the matrix is unitary within `tol`."},
    {"jarlskog", jarlskog, METH_NOARGS, "jarlskog($self)\n--\n\nCP-violation Jarlskog invariant J."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_doc, as_slot("Python wrapper for [`CKMMatrix`].")},  // no constructor, no signature
    {Py_tp_new, as_slot(&refuse_construction)},
    {Py_tp_dealloc, as_slot(&CKMMatrixClass::dealloc)},
    {Py_tp_methods, methods},
    {0, nullptr},
};

PyType_Spec CKMMatrixTraits::definition{
    .name = CKMMatrixClass::dotted_name.c_str(),
    .basicsize = CKMMatrixClass::basic_size,
    .itemsize = 0,
    .flags = wrapper_type_flags,
    .slots = slots,
};

}  // namespace

PyTypeObject* ckm_matrix_type() {
    return CKMMatrixClass::type();
}

}  // namespace orbalin::pyfacade
