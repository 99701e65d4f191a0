// PyQuarkRegistry: an (empty) quark registry owned by the instance.
#include "pyfacade/wrapper_class.hpp"
#include "quarks/quark_registry.hpp"

namespace orbalin::pyfacade {
namespace {

struct QuarkRegistryTraits {
    using Native = quarks::QuarkRegistry;
    static constexpr FixedText name{"PyQuarkRegistry"};
    static PyType_Spec definition;
};

using QuarkRegistryClass = WrapperClass<QuarkRegistryTraits>;

PyType_Slot slots[] = {
    {Py_tp_doc, as_slot("PyQuarkRegistry()\n--\n\nPython wrapper for [`QuarkRegistry`].")},
    {Py_tp_new, as_slot(&QuarkRegistryClass::construct_without_arguments<&quarks::QuarkRegistry::new_empty>)},
    {Py_tp_dealloc, as_slot(&QuarkRegistryClass::dealloc)},
    {Py_mp_length, as_slot(&QuarkRegistryClass::length<&quarks::QuarkRegistry::len>)},
    {0, nullptr},
};

PyType_Spec QuarkRegistryTraits::definition{
    .name = QuarkRegistryClass::dotted_name.c_str(),
    .basicsize = QuarkRegistryClass::basic_size,
    .itemsize = 0,
    .flags = wrapper_type_flags,
    .slots = slots,
};

}  // namespace

PyTypeObject* quark_registry_type() {
    return QuarkRegistryClass::type();
}

}  // namespace orbalin::pyfacade
