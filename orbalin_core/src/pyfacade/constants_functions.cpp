// py_list_constants: the constant names of a freshly built registry.
#include "formulas/formulas_registry.hpp"
#include "pyfacade/failure.hpp"
#include "pyfacade/module_functions.hpp"
#include "pyfacade/name_list.hpp"

namespace orbalin::pyfacade {
namespace {

PyObject* py_list_constants(PyObject* /*module*/, PyObject* /*unused*/) {
    return names_of_fresh_registry([] { return formulas::FormulasRegistry::new_seeded(); });
}

PyMethodDef list_constants_def{
    "py_list_constants",
    py_list_constants,
    METH_NOARGS,
    "py_list_constants()\n--\n\n"
    "Accelerated twin of `tessellarch.list_constants`.\n\n"
    "Returns all known constant names from the FormulasRegistry.",
};

}  // namespace

PyMethodDef* list_constants_entry() noexcept {
    return &list_constants_def;
}

}  // namespace orbalin::pyfacade
