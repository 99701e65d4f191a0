// PyQuarkRegistry (an empty registry owned by the instance) and py_list_quarks.
#include "pyfacade/quarks_class.hpp"

#include "pyfacade/arguments.hpp"
#include "pyfacade/module_functions.hpp"
#include "pyfacade/name_list.hpp"
#include "pyfacade/wrapper_class.hpp"
#include "quarks/quark_registry.hpp"

namespace orbalin::pyfacade {
namespace {

struct QuarkRegistryTraits {
    using Native = quarks::QuarkRegistry;
    static constexpr const char* name = "PyQuarkRegistry";
    static constexpr const char* dotted_name = "builtins.PyQuarkRegistry";
    static constexpr const char* doc = "PyQuarkRegistry()\n--\n\nPython wrapper for [`QuarkRegistry`].";

    static PyMethodDef* methods() noexcept { return nullptr; }
    static PyObject* construct(PyTypeObject* type, PyObject* args, PyObject* kwargs);
    static std::uint64_t length(const Native& registry) { return registry.len(); }
};

using QuarkRegistryClass = WrapperClass<QuarkRegistryTraits>;

PyObject* QuarkRegistryTraits::construct(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return QuarkRegistryClass::construct_without_arguments("PyQuarkRegistry.__new__()", type, args, kwargs,
                                                           [] { return quarks::QuarkRegistry::new_empty(); });
}

PyObject* py_list_quarks(PyObject* /*module*/, PyObject* /*unused*/) {
    return names_of_fresh_registry([] { return quarks::QuarkRegistry::standard_model(); });
}

PyMethodDef list_quarks_def{
    "py_list_quarks",
    py_list_quarks,
    METH_NOARGS,
    "py_list_quarks()\n--\n\n"
    "Accelerated twin of `tessellarch.list_quarks`.\n\n"
    "Returns all SM quark names from the QuarkRegistry.",
};

}  // namespace

PyTypeObject* quark_registry_type() {
    return QuarkRegistryClass::type();
}

PyMethodDef* list_quarks_entry() noexcept {
    return &list_quarks_def;
}

}  // namespace orbalin::pyfacade
