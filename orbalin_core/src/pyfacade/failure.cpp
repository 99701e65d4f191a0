#include "pyfacade/failure.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <utility>

#include "pyfacade/compat.hpp"
#include "pyfacade/owned_ref.hpp"
#include "pyfacade/process_slot.hpp"

namespace orbalin::pyfacade {
namespace {

constexpr const char* internal_failure_doc =
    "Raised when the native code of tessellarch._orbalin_core, called from\n"
    "Python, fails an internal check.\n"
    "\n"
    "Like SystemExit, it derives from BaseException rather than Exception, so\n"
    "that it usually propagates all the way up and ends the interpreter instead\n"
    "of being swallowed by an `except Exception` clause.";

// Owned by the runtime's process slots: created once, never released (the
// module cannot be unloaded, and instances may outlive any one import).
ProcessSlot<> internal_failure;

// "pyfacade/<file>" from the full path the compiler recorded.
std::string_view source_file_in_pyfacade(std::string_view path) {
    const auto at = path.rfind("pyfacade/");
    return at == std::string_view::npos ? path : path.substr(at);
}

// The diagnostic line, or empty when there is no memory for it. Built apart
// from writing it: the writing runs Python code, which must not run inside
// the handler.
std::string diagnostic_line(std::string_view text, SourceLocation where, unsigned long thread) {
    try {
        std::string line("tessellarch._orbalin_core: internal check failed on thread ");
        line.append(std::to_string(thread))
            .append(" at ")
            .append(source_file_in_pyfacade(where.file))
            .append(1, ':')
            .append(std::to_string(where.line))
            .append(": ")
            .append(text)
            .append(1, '\n');
        return line;
    } catch (const std::exception&) {
        return {};
    }
}

// One line on standard error: through sys.stderr when it can be written, so
// redirections made in Python see it, else straight to the C stream.
void write_diagnostic(std::string_view text, SourceLocation where) {
    const std::string line = diagnostic_line(text, where, PyThread_get_thread_ident());
    if (line.empty()) {  // no memory for the line: say what can be said
        std::fputs("tessellarch._orbalin_core: internal check failed\n", stderr);
        return;
    }
    const OwnedRef decoded =
        OwnedRef::steal(PyUnicode_DecodeUTF8(line.data(), static_cast<Py_ssize_t>(line.size()), "replace"));
    if (decoded) {
        PySys_FormatStderr("%U", decoded.get());  // keeps any pending exception as it was
    } else {
        PyErr_Clear();
        std::fwrite(line.data(), 1, line.size(), stderr);
    }
}

enum class Chain { as_cause, as_context };

// Attaches `earlier` (an exception instance, or empty) to the pending
// exception as its __cause__ or __context__.
void chain_to_raised(OwnedRef earlier, Chain how) {
    if (!earlier) {
        return;
    }
    OwnedRef raised = take_raised_exception();
    if (!raised) {  // nothing to attach to: the earlier error is the one to report
        restore_raised_exception(std::move(earlier));
        return;
    }
    if (how == Chain::as_cause) {
        PyException_SetCause(raised.get(), earlier.release());  // steals
    } else {
        PyException_SetContext(raised.get(), earlier.release());  // steals
    }
    restore_raised_exception(std::move(raised));
}

}  // namespace

PyObject* internal_failure_class() {
    return internal_failure.get_or_create([] {
        return PyErr_NewExceptionWithDoc("tessellarch._orbalin_core.InternalFailure", internal_failure_doc,
                                         PyExc_BaseException, nullptr);
    });
}

PyObject* fail_check(std::string_view text, SourceLocation where) {
    // A check often fails right after an interpreter call did, with its
    // exception still pending. That exception is taken out first, so nothing
    // below runs with an error set (creating the class or the message with
    // one pending is undefined), and it becomes the cause of InternalFailure:
    // the caller sees both, and no exception is cleared unhandled.
    OwnedRef pending = take_raised_exception();
    write_diagnostic(text, where);
    PyObject* cls = internal_failure_class();
    if (cls == nullptr) {
        chain_to_raised(std::move(pending), Chain::as_context);
        return nullptr;
    }
    const OwnedRef message =
        OwnedRef::steal(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
    if (!message) {
        ensure_error_set();
        chain_to_raised(std::move(pending), Chain::as_context);
        return nullptr;
    }
    PyErr_SetObject(cls, message.get());
    chain_to_raised(std::move(pending), Chain::as_cause);
    return nullptr;
}

PyObject* ensure_error_set() {
    if (PyErr_Occurred() == nullptr) {
        PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
    }
    return nullptr;
}

NativeFailure NativeFailure::out_of_memory() noexcept {
    NativeFailure failure;
    failure.out_of_memory_ = true;
    return failure;
}

NativeFailure NativeFailure::failed_check(const char* text) noexcept {
    NativeFailure failure;
    const std::size_t kept = text == nullptr ? 0 : ::strnlen(text, failure.text_.size() - 1);
    std::copy_n(text, kept, failure.text_.begin());
    failure.text_[kept] = '\0';
    return failure;
}

void NativeFailure::raise(SourceLocation where) const {
    if (out_of_memory_) {
        PyErr_NoMemory();
    } else {
        fail_check(text_.data(), where);
    }
}

}  // namespace orbalin::pyfacade
