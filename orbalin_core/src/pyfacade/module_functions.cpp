// The module-level functions: one table, one row per function. Adding a
// function is its body (here, or in a file named for what it does), one row,
// its stub and its namespace test.
#include "pyfacade/module_functions.hpp"

#include "formulas/formulas_registry.hpp"
#include "pyfacade/method_cast.hpp"
#include "pyfacade/name_list.hpp"
#include "quarks/quark_registry.hpp"

namespace orbalin::pyfacade {
namespace {

PyObject* py_list_constants(PyObject* /*module*/, PyObject* /*unused*/) {
    return names_of_fresh_registry([] { return formulas::FormulasRegistry::new_seeded(); });
}

PyObject* py_list_quarks(PyObject* /*module*/, PyObject* /*unused*/) {
    return names_of_fresh_registry([] { return quarks::QuarkRegistry::standard_model(); });
}

PyMethodDef functions[] = {
    {"py_list_constants", py_list_constants, METH_NOARGS,
     "py_list_constants()\n--\n\n"
     "Accelerated twin of `tessellarch.list_constants`.\n\n"
     "Returns all known constant names from the FormulasRegistry."},
    {"py_list_quarks", py_list_quarks, METH_NOARGS,
     "py_list_quarks()\n--\n\n"
     "Accelerated twin of `tessellarch.list_quarks`.\n\n"
     "Returns all SM quark names from the QuarkRegistry."},
    {"py_get_constant", as_method(py_get_constant), METH_FASTCALL | METH_KEYWORDS,
     "py_get_constant(name)\n--\n\n"
     "Accelerated twin of `tessellarch.Get` for the constants branch.\n\n"
     "Returns a JSON-serialised dict with `name`, `value`, `units`,\n"
     "`uncertainty`, and `status` fields \xe2\x80\x94 matching the Python constant\n"
     "datasheet schema so callers don't need to branch.\n\n"
     "Raises `PyKeyError` when `name` is not in the registry."},
};

}  // namespace

std::span<PyMethodDef> module_functions() noexcept {
    return functions;
}

}  // namespace orbalin::pyfacade
