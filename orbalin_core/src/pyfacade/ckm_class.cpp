// PyCKMMatrix: the mixing matrix, held by value; made only by from_topology().
#include "ckm/ckm_matrix.hpp"
#include "pyfacade/arguments.hpp"
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

// A new matrix; when the interpreter cannot allocate it, its own error
// (MemoryError) reaches the caller, as it does from the two constructors.
PyObject* from_topology(PyObject* /*no_class*/, PyObject* /*no_args*/) {
    PyTypeObject* type = CKMMatrixClass::type();
    if (type == nullptr) {
        return nullptr;
    }
    return CKMMatrixClass::wrap(type, ckm::CKMMatrix::from_topology());
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
