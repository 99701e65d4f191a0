#include "pyfacade/formulas_class.hpp"

#include "formulas/formulas_registry.hpp"
#include "pyfacade/arguments.hpp"
#include "pyfacade/conversion.hpp"
#include "pyfacade/registry_errors.hpp"
#include "pyfacade/version.hpp"
#include "pyfacade/wrapper_class.hpp"

namespace orbalin::pyfacade {
namespace {

struct FormulasRegistryTraits {
    using Native = formulas::FormulasRegistry;
    static constexpr const char* name = "PyFormulasRegistry";
    static constexpr const char* dotted_name = "builtins.PyFormulasRegistry";
    static constexpr const char* doc = "PyFormulasRegistry()\n--\n\nPython wrapper for [`FormulasRegistry`].";

    static PyMethodDef* methods() noexcept;
    static PyObject* construct(PyTypeObject* type, PyObject* args, PyObject* kwargs);
    static std::uint64_t length(const Native& registry) { return registry.len(); }
};

using FormulasRegistryClass = WrapperClass<FormulasRegistryTraits>;

PyObject* FormulasRegistryTraits::construct(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return FormulasRegistryClass::construct_without_arguments("PyFormulasRegistry.__new__()", type, args, kwargs,
                                                              [] { return formulas::FormulasRegistry::new_seeded(); });
}

constexpr OneParameter get_parameter{"PyFormulasRegistry.get()", "name"};

PyObject* get(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        return FormulasRegistryClass::call_with_one_argument(
            get_parameter, self, args, nargsf, kwnames, text_argument,
            [](const formulas::FormulasRegistry& registry, std::string_view name) -> PyObject* {
                formulas::RecordCopy copy;
                if (!registry.get_into(name, copy)) {
                    return raise_registry_error(formulas::RegistryError::not_found(name));
                }
                return PyFloat_FromDouble(copy.record().value);
            });
    });
}

PyObject* version(PyObject* /*no_class*/, PyObject* /*no_args*/) {
    return PyUnicode_FromStringAndSize(version_text.data(), static_cast<Py_ssize_t>(version_text.size()));
}

PyMethodDef methods_table[] = {
    {"get", as_method(get), METH_FASTCALL | METH_KEYWORDS,
     "get($self, name)\n--\n\nRetrieve the numeric value for `name`."},
    {"version", version, METH_STATIC | METH_NOARGS, "version()\n--\n\nLibrary-version round-trip helper."},
    {nullptr, nullptr, 0, nullptr},
};

PyMethodDef* FormulasRegistryTraits::methods() noexcept {
    return methods_table;
}

}  // namespace

PyTypeObject* formulas_registry_type() {
    return FormulasRegistryClass::type();
}

}  // namespace orbalin::pyfacade
