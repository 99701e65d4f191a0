// How the module reports failures to Python.
//
// Four rules hold for every entry point the interpreter can call:
//  * when the interpreter fails (it cannot make a list, a str, a float or an
//    instance, say), its own pending exception, normally MemoryError, reaches
//    the caller unchanged; an interpreter call that reports failure without
//    setting an exception becomes SystemError (`ensure_error_set`). The
//    pending error is never printed or handed to sys.excepthook: that would
//    run the program's own hooks inside the call (where one can end the
//    process or wait on a lock its caller holds) and turn a MemoryError that
//    `except MemoryError` handles into an InternalFailure that nothing does;
//  * a failed internal check of the module's own (the empty name, a failed
//    append to __all__) writes one diagnostic line to standard error and
//    raises InternalFailure, which derives from BaseException;
//  * no C++ exception of the module's own crosses into the interpreter: the
//    native work that can throw runs inside `run_native`, which turns
//    std::bad_alloc into MemoryError and any other std::exception into a
//    failed internal check;
//  * no C++ exception that the module did not throw is ever caught: the work
//    inside `run_native` never calls into the interpreter, so neither a C++
//    exception thrown by code that Python called (through ctypes, say) nor
//    the C runtime's forced unwind of a thread that CPython ends can reach
//    one of its handlers. Both pass through the module's frames untouched and
//    end as they would without the module: the first by std::terminate, the
//    second by ending the thread. No function of pyfacade that can reach the
//    interpreter (any Py_DECREF can run Python code) is noexcept, so that
//    the forced unwind finds no wall in its way.
#pragma once

#include <Python.h>

#include <array>
#include <exception>
#include <new>
#include <optional>
#include <string_view>
#include <type_traits>

namespace orbalin::pyfacade {

// Where a check failed, for the diagnostic. std::source_location would do,
// but Clang 14 cannot compile libstdc++'s; the builtins work in both.
struct SourceLocation {
    const char* file;
    unsigned line;

    static constexpr SourceLocation current(const char* file = __builtin_FILE(),
                                            unsigned line = __builtin_LINE()) noexcept {
        return {file, line};
    }
};

// The InternalFailure class, created once per runtime on first need; null
// with an error set when it cannot be created. Not a module attribute.
[[nodiscard]] PyObject* internal_failure_class();

// Writes the diagnostic (thread, source location, text) to standard error and
// sets InternalFailure(text). An exception pending on entry becomes the cause
// of the InternalFailure. Always returns null, for `return fail_check(...)`.
PyObject* fail_check(std::string_view text, SourceLocation where = SourceLocation::current());

// Called after an interpreter call reported failure: leaves its exception
// pending, as it is, for the caller, and makes sure there is one (SystemError
// when the interpreter set none). Returns null, for `return ensure_error_set();`.
PyObject* ensure_error_set();

// A C++ exception that native work threw, kept past its handler without
// allocating, so that it can be reported once the handler has ended: the
// report runs Python code, and no Python code may run inside a handler.
class NativeFailure {
public:
    [[nodiscard]] static NativeFailure out_of_memory() noexcept;
    // Keeps the first bytes of `text` (what() of the exception).
    [[nodiscard]] static NativeFailure failed_check(const char* text) noexcept;

    // Raises MemoryError, or fails the check with the kept text.
    void raise(SourceLocation where) const;

    NativeFailure() noexcept {}  // NOLINT(modernize-use-equals-default): leaves `text_` unwritten

private:
    bool out_of_memory_ = false;
    // Zero-terminated, truncated if need be. Written only when a check fails:
    // one is made on every call of run_native, and clearing 160 bytes there
    // would cost more than many of the calls themselves.
    std::array<char, 160> text_;  // NOLINT(cppcoreguidelines-pro-type-member-init)
};

// Runs `work` and returns its result, or empty with a Python error set when
// it threw: std::bad_alloc becomes MemoryError, any other std::exception a
// failed internal check with its text.
//
// `work` is native code only: it must not call into the interpreter, not even
// through a reference count. So every exception these handlers can see was
// thrown by the module's own code or by the standard library on its behalf
// (std::bad_alloc; std::length_error for a size past a container's limit).
// Deliberately not noexcept, and no catch-all: what is not a std::exception
// is not the module's, and passes.
template <class Work>
auto run_native(Work&& work, SourceLocation where = SourceLocation::current())
    -> std::optional<std::invoke_result_t<Work&>> {
    NativeFailure failure;
    try {
        return work();
    } catch (const std::bad_alloc&) {
        failure = NativeFailure::out_of_memory();
    } catch (const std::exception& error) {
        failure = NativeFailure::failed_check(error.what());
    }
    failure.raise(where);  // after the handler: raising runs Python code
    return std::nullopt;
}

}  // namespace orbalin::pyfacade
