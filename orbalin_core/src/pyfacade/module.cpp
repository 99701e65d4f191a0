// The module's entry point and body.
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

#include "pyfacade/failure.hpp"
#include "pyfacade/module_entries.hpp"
#include "pyfacade/module_functions.hpp"
#include "pyfacade/module_types.hpp"
#include "pyfacade/owned_ref.hpp"
#include "pyfacade/process_slot.hpp"
#include "pyfacade/version.hpp"

namespace orbalin::pyfacade {
namespace {

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

// The interpreter that first imported the module; -1 until then.
std::atomic<std::int64_t> recorded_interpreter{-1};

// One strong reference, owned by the process slots until the runtime ends. On a
// free-threaded build two threads can run the module body at once; the
// second then returns the first one's module.
ProcessSlot<> cached_module;

// Both steps below stop at the first failure; the error is pending then.
bool add_function(PyObject* module, PyMethodDef* entry) {
    const OwnedRef function = OwnedRef::steal(make_module_function(module, entry));
    return function && add_named_entry(module, function.get());
}

bool add_class(PyObject* module, PyTypeObject* type) {
    return type != nullptr && add_named_entry(module, reinterpret_cast<PyObject*>(type));
}

bool run_module_body(PyObject* module) {
    // The classes, the functions, then __version__: the order of these steps
    // is the order of the namespace and of __all__.
    for (const TypeGetter type : module_types) {
        if (!add_class(module, type())) {
            return false;
        }
    }
    for (PyMethodDef& entry : module_functions()) {
        if (!add_function(module, &entry)) {
            return false;
        }
    }
    const OwnedRef version =
        OwnedRef::steal(PyUnicode_FromStringAndSize(version_text.data(), static_cast<Py_ssize_t>(version_text.size())));
    if (!version) {
        ensure_error_set();
        return false;
    }
    const OwnedRef version_name = OwnedRef::steal(PyUnicode_FromString("__version__"));
    if (!version_name) {
        ensure_error_set();
        return false;
    }
    return add_entry(module, version_name.get(), version.get());
}

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
    // static (the shard count); registries are immutable
    // once built and read under their shard locks. No GIL is needed.
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
