// PyFormulasRegistry: a constants registry built at creation and owned by the instance.
#include <optional>
#include <string_view>

#include "formulas/formulas_registry.hpp"
#include "pyfacade/arguments.hpp"
#include "pyfacade/conversion.hpp"
#include "pyfacade/version.hpp"
#include "pyfacade/wrapper_class.hpp"

namespace orbalin::pyfacade {
namespace {

struct FormulasRegistryTraits {
    using Native = formulas::FormulasRegistry;
    static constexpr FixedText name{"PyFormulasRegistry"};
    static PyType_Spec definition;
};

using FormulasRegistryClass = WrapperClass<FormulasRegistryTraits>;

constexpr OneParameter get_parameter{FormulasRegistryClass::method_name<"get">.c_str(), "name"};

PyObject* get(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return FormulasRegistryClass::call_with_one_argument(
        get_parameter, self, args, nargsf, kwnames, text_argument,
        [](const formulas::FormulasRegistry& registry, std::string_view name) -> PyObject* {
            double value = 0.0;
            // The lookup and its copy are native work; the float is made after.
            const bool found = run_native_unrefused([&registry, name, &value]() -> std::optional<Refusal> {
                formulas::RecordCopy copy;
                if (const auto error = registry.get(name, copy)) {
                    return Refusal::from(*error);
                }
                value = copy.record().value;
                return std::nullopt;
            });
            return found ? PyFloat_FromDouble(value) : nullptr;
        });
}

PyObject* version(PyObject* /*no_class*/, PyObject* /*no_args*/) {
    return PyUnicode_FromStringAndSize(version_text.data(), static_cast<Py_ssize_t>(version_text.size()));
}

PyMethodDef methods[] = {
    {"get", as_method(get), METH_FASTCALL | METH_KEYWORDS,
     "get($self, name)\n--\n\nRetrieve the numeric value for `name`."},
    {"version", version, METH_STATIC | METH_NOARGS, "version()\n--\n\nLibrary-version round-trip helper."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_doc, as_slot("PyFormulasRegistry()\n--\n\nPython wrapper for [`FormulasRegistry`].")},
    {Py_tp_new, as_slot(&FormulasRegistryClass::construct_without_arguments<&formulas::FormulasRegistry::new_seeded>)},
    {Py_tp_dealloc, as_slot(&FormulasRegistryClass::dealloc)},
    {Py_tp_methods, methods},
    {Py_mp_length, as_slot(&FormulasRegistryClass::length<&formulas::FormulasRegistry::len>)},
    {0, nullptr},
};

PyType_Spec FormulasRegistryTraits::definition{
    .name = FormulasRegistryClass::dotted_name.c_str(),
    .basicsize = FormulasRegistryClass::basic_size,
    .itemsize = 0,
    .flags = wrapper_type_flags,
    .slots = slots,
};

}  // namespace

PyTypeObject* formulas_registry_type() {
    return FormulasRegistryClass::type();
}

}  // namespace orbalin::pyfacade
