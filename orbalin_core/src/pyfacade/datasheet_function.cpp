// py_get_constant: a constant's datasheet, written as JSON text and parsed by
// json.loads so that its types are exactly those of JSON parsing.
#include "formulas/datasheet.hpp"
#include "formulas/formulas_registry.hpp"
#include "pyfacade/arguments.hpp"
#include "pyfacade/conversion.hpp"
#include "pyfacade/failure.hpp"
#include "pyfacade/module_functions.hpp"
#include "pyfacade/name_list.hpp"
#include "pyfacade/owned_ref.hpp"
#include "pyfacade/registry_errors.hpp"

namespace orbalin::pyfacade {
namespace {

constexpr OneParameter name_parameter{"py_get_constant()", "name"};

// json.loads(text), with `json` imported and `loads` looked up afresh: import
// hooks, sys.modules and a replaced loads are all honoured. Nothing is kept
// between calls, not even the two names. New reference or null.
PyObject* parse_with_json_loads(std::string_view text) {
    const OwnedRef module_name = OwnedRef::steal(new_str("json"));
    if (!module_name) {
        return ensure_error_set();
    }
    const OwnedRef json = OwnedRef::steal(PyImport_Import(module_name.get()));
    if (!json) {
        return ensure_error_set();
    }
    const OwnedRef document = OwnedRef::steal(new_str(text));
    if (!document) {
        return ensure_error_set();
    }
    const OwnedRef method = OwnedRef::steal(new_str("loads"));
    if (!method) {
        return ensure_error_set();
    }
    // args[0] is the receiver; the offset flag lets the call reuse that slot.
    PyObject* call_args[] = {json.get(), document.get()};
    PyObject* parsed = PyObject_VectorcallMethod(method.get(), call_args, 2 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr);
    if (parsed == nullptr) {
        return ensure_error_set();
    }
    return parsed;
}

// The datasheet of the constant `name`, as json.loads makes it of the JSON text.
PyObject* datasheet(std::string_view name) {
    if (name.empty()) {
        return fail_check("py_get_constant: name must be non-empty");
    }
    jsontext::TextBuffer text;  // on the stack: a datasheet fits inline
    {
        // The record copy, a deep one, lives only for this block; the
        // registry only for the lookup.
        formulas::RecordCopy copy;
        if (const auto error = formulas::FormulasRegistry::new_seeded().get(name, copy)) {
            return raise_registry_error(*error);
        }
        if (auto error = formulas::write_datasheet(copy.record(), text)) {
            PyErr_SetString(PyExc_ValueError, error->message.c_str());
            return nullptr;
        }
    }
    return parse_with_json_loads(text.view());
}

}  // namespace

PyObject* py_get_constant(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        return call_with_one_argument(name_parameter, args, nargsf, kwnames, text_argument, datasheet);
    });
}

}  // namespace orbalin::pyfacade
