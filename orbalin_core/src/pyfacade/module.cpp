// The module `tessellarch._orbalin_core`: its definition, its three functions
// beside their table rows, the module body that fills the namespace and
// __all__, and the entry point with its interpreter claim.
//
// Single-phase initialisation: the first import in the runtime builds the
// module and caches it; later imports in the same interpreter (say after the
// module was dropped from sys.modules) get the very same object back. The
// wrapper types and the cache are process-wide, so a second interpreter is
// refused rather than handed objects that belong to another one.
//
// "Process-wide" means "for the runtime": an application that embeds Python
// can finalize it and initialize it again. The first import in each runtime
// registers `forget_runtime` to run at the end of its finalization, so that
// the next runtime imports the module as the first one did, instead of
// getting back a module whose namespace finalization has emptied.
#include <Python.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>

#include "formulas/datasheet.hpp"
#include "formulas/formulas_registry.hpp"
#include "pyfacade/arguments.hpp"
#include "pyfacade/conversion.hpp"
#include "pyfacade/failure.hpp"
#include "pyfacade/owned_ref.hpp"
#include "pyfacade/process_slot.hpp"
#include "pyfacade/version.hpp"
#include "pyfacade/wrapper_class.hpp"
#include "quarks/quark_registry.hpp"

namespace orbalin::pyfacade {
namespace {

// --- The functions ------------------------------------------------------------

// The sorted names of a registry that `build()` makes for this call alone, as
// a new list of str. The names are read as views of the registry's own keys,
// so each is copied once, into its str; the registry is destroyed after the
// list is made. Building and sorting are native work; the interpreter is
// called only for the list.
template <class Build>
PyObject* names_of_fresh_registry(Build build) {
    std::optional<std::invoke_result_t<Build&>> registry;  // outlives the views of its keys
    const auto names = run_native([&registry, &build] { return registry.emplace(build()).sorted_name_views(); });
    if (!names) {
        return nullptr;
    }
    return names_to_list(*names).release();
}

PyObject* py_list_constants(PyObject* /*module*/, PyObject* /*unused*/) {
    return names_of_fresh_registry(&formulas::FormulasRegistry::new_seeded);
}

PyObject* py_list_quarks(PyObject* /*module*/, PyObject* /*unused*/) {
    return names_of_fresh_registry(&quarks::QuarkRegistry::standard_model);
}

// json.loads(text), with `json` imported and `loads` looked up afresh: import
// hooks, sys.modules and a replaced loads are all honoured. Nothing is kept
// between calls, not even the two names.
OwnedRef parse_with_json_loads(std::string_view text) {
    const OwnedRef module_name = new_str("json");
    if (!module_name) {
        return {};
    }
    const OwnedRef json = OwnedRef::steal(PyImport_Import(module_name.get()));
    const OwnedRef document = json ? new_str(text) : OwnedRef();
    const OwnedRef method = document ? new_str("loads") : OwnedRef();
    if (!method) {
        ensure_error_set();
        return {};
    }
    // args[0] is the receiver; the offset flag lets the call reuse that slot.
    PyObject* call_args[] = {json.get(), document.get()};
    OwnedRef parsed = OwnedRef::steal(
        PyObject_VectorcallMethod(method.get(), call_args, 2 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
    if (!parsed) {
        ensure_error_set();
    }
    return parsed;
}

// The datasheet of the constant `name`: its JSON text, as json.loads makes it.
PyObject* datasheet(std::string_view name) {
    if (name.empty()) {
        return fail_check("py_get_constant: name must be non-empty");
    }
    jsontext::TextBuffer text;  // on the stack: a datasheet fits inline
    // The registry, the record copy and the text are native work; the
    // interpreter is called only once it is done and the first two are gone.
    const bool written = run_native_unrefused([name, &text]() -> std::optional<Refusal> {
        formulas::RecordCopy copy;  // outlives the registry, which lives for the lookup alone
        if (const auto error = formulas::FormulasRegistry::new_seeded().get(name, copy)) {
            return Refusal::from(*error);
        }
        if (auto error = formulas::write_datasheet(copy.record(), text)) {
            return Refusal{PyExc_ValueError, std::move(error->message)};
        }
        return std::nullopt;
    });
    if (!written) {
        return nullptr;
    }
    return parse_with_json_loads(text.view()).release();
}

constexpr OneParameter name_parameter{"py_get_constant()", "name"};

PyObject* py_get_constant(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return call_with_one_argument(name_parameter, args, nargsf, kwnames, text_argument, datasheet);
}

// In the order of the namespace and of __all__, where they follow the
// classes. The rows live for the process, as the function objects made from
// them require.
PyMethodDef module_functions[] = {
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

// In the order of the namespace and of __all__, ahead of the functions.
PyTypeObject* (*const module_classes[])() = {&formulas_registry_type, &quark_registry_type, &ckm_matrix_type};

// --- The module body ------------------------------------------------------------

PyModuleDef module_definition{
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "_orbalin_core",
    .m_doc = "Entry point of the orbalin_core native binding layer. Wired as `tessellarch._orbalin_core`.",
    .m_size = 0,           // no per-module state
    .m_methods = nullptr,  // functions are attached by the body, bound to the module, after the classes
    .m_slots = nullptr,    // single-phase initialisation
    .m_traverse = nullptr,
    .m_clear = nullptr,
    .m_free = nullptr,
};

// The module's __all__, created empty on first need.
OwnedRef all_list(PyObject* module) {
    OwnedRef all = OwnedRef::steal(PyObject_GetAttrString(module, "__all__"));
    if (all) {
        if (!PyList_Check(all.get())) {
            raise_cannot_convert(all.get(), "PyList");
            return {};
        }
        return all;
    }
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) {
        ensure_error_set();
        return {};
    }
    PyErr_Clear();
    all = OwnedRef::steal(PyList_New(0));
    if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) {
        ensure_error_set();
        return {};
    }
    return all;
}

// Each step below returns false with an error set when it fails.

// Adds `value` under `name` and appends `name` to __all__.
bool add_entry(PyObject* module, PyObject* name, PyObject* value) {
    const OwnedRef all = all_list(module);
    if (!all) {
        return false;
    }
    if (PyList_Append(all.get(), name) < 0) {
        fail_check("could not append __name__ to __all__");
        return false;
    }
    if (PyObject_SetAttr(module, name, value) < 0) {
        ensure_error_set();
        return false;
    }
    return true;
}

// add_entry under the value's own __name__, which must be a str.
bool add_named_entry(PyObject* module, PyObject* value) {
    const OwnedRef name = OwnedRef::steal(PyObject_GetAttrString(value, "__name__"));
    if (!name) {
        ensure_error_set();
        return false;
    }
    if (!PyUnicode_Check(name.get())) {
        raise_cannot_convert(name.get(), "PyString");
        return false;
    }
    return add_entry(module, name.get(), value);
}

// A built-in function made from its row, bound to the module: __self__ is
// the module and __module__ its name.
OwnedRef make_module_function(PyObject* module, PyMethodDef* row) {
    const OwnedRef module_name = OwnedRef::steal(PyModule_GetNameObject(module));
    OwnedRef function =
        module_name ? OwnedRef::steal(PyCMethod_New(row, module, module_name.get(), nullptr)) : OwnedRef();
    if (!function) {
        ensure_error_set();
    }
    return function;
}

bool run_module_body(PyObject* module) {
    // The classes, the functions, then __version__: the order of these steps
    // is the order of the namespace and of __all__.
    for (PyTypeObject* (*const type)() : module_classes) {
        PyTypeObject* made = type();
        if (made == nullptr || !add_named_entry(module, reinterpret_cast<PyObject*>(made))) {
            return false;
        }
    }
    for (PyMethodDef& row : module_functions) {
        const OwnedRef function = make_module_function(module, &row);
        if (!function || !add_named_entry(module, function.get())) {
            return false;
        }
    }
    const OwnedRef version = new_str(version_text);
    const OwnedRef version_name = version ? new_str("__version__") : OwnedRef();
    if (!version_name) {
        ensure_error_set();
        return false;
    }
    return add_entry(module, version_name.get(), version.get());
}

// --- The entry point ------------------------------------------------------------

// The interpreter that first imported the module; -1 until then.
std::atomic<std::int64_t> recorded_interpreter{-1};

// One strong reference, owned by the process slots until the runtime ends. On a
// free-threaded build two threads can run the module body at once; the
// second then returns the first one's module.
ProcessSlot<> cached_module;

// Runs after the runtime that imported the module has been finalized
// (Py_AtExit): its objects are gone, so the slots are emptied, not released.
void forget_runtime() {
    ProcessSlotChain::forget_all();
    recorded_interpreter.store(-1, std::memory_order_seq_cst);
}

// False with ImportError (or the interpreter's own error) set when this
// interpreter may not have the module.
bool claim_interpreter() {
    const std::int64_t current = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (current == -1) {
        ensure_error_set();
        return false;
    }
    std::int64_t expected = -1;
    if (recorded_interpreter.compare_exchange_strong(expected, current, std::memory_order_seq_cst)) {
        // The first claim in this runtime. Py_AtExit has room for 32
        // functions per runtime; without ours a later runtime would get this
        // one's dead module, so the import fails rather than go on without.
        if (Py_AtExit(forget_runtime) != 0) {
            recorded_interpreter.store(-1, std::memory_order_seq_cst);
            PyErr_SetString(PyExc_ImportError,
                            "tessellarch._orbalin_core could not register its clean-up for the end of the "
                            "interpreter (Py_AtExit is full)");
            return false;
        }
        return true;
    }
    if (expected == current) {
        return true;
    }
    PyErr_SetString(PyExc_ImportError,
                    "tessellarch._orbalin_core does not support subinterpreters: it can be imported "
                    "only in the interpreter that imported it first");
    return false;
}

// The module, made and filled; a new reference, or null with an error set.
PyObject* create_module() {
    OwnedRef module = OwnedRef::steal(PyModule_Create2(&module_definition, PYTHON_API_VERSION));
    if (!module) {
        return ensure_error_set();
    }
#ifdef Py_GIL_DISABLED
    // Every process-wide slot is an atomic filled by compare-and-swap (the
    // interpreter claim, this cache, the types, InternalFailure) or a magic
    // static (the shard count); registries are immutable once built and read
    // under their shard locks. No GIL is needed.
    if (PyUnstable_Module_SetGIL(module.get(), Py_MOD_GIL_NOT_USED) != 0) {
        return ensure_error_set();
    }
#endif
    if (!run_module_body(module.get())) {
        return nullptr;  // `module` is released; the next import starts afresh
    }
    return module.release();
}

PyObject* initialise() {
    if (!claim_interpreter()) {
        return nullptr;
    }
    // The cache keeps the module's reference for the process; if another
    // thread's module was cached first, that one is returned and ours is
    // released. The importer gets a reference of its own.
    PyObject* module = cached_module.get_or_create(create_module);
    return module == nullptr ? nullptr : Py_NewRef(module);
}

}  // namespace
}  // namespace orbalin::pyfacade

// The interpreter finds the module by this exact name; it is not ours to choose.
PyMODINIT_FUNC PyInit__orbalin_core(void) {  // NOLINT(bugprone-reserved-identifier)
    return orbalin::pyfacade::initialise();
}
