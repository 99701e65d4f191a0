// How the module reports failures to Python.
//
// Three rules hold for every entry point the interpreter can call:
//  * an interpreter call that reports failure without setting an exception
//    becomes SystemError (`ensure_error_set`);
//  * a failed internal check writes one diagnostic line to standard error and
//    raises InternalFailure, which derives from BaseException;
//  * no C++ exception ever crosses into the interpreter: `guarded` catches
//    everything, std::bad_alloc becomes MemoryError, anything else is a failed
//    internal check;
//  * except the one unwind the module did not start. When CPython ends a
//    thread (a daemon thread that wants the interpreter lock back while the
//    interpreter shuts down), it calls pthread_exit, and the C runtime unwinds
//    the thread's stack with a forced unwind, through our frames whenever we
//    had called back into Python. A catch-all that swallows it, or a noexcept
//    frame in its way, aborts the process. So every catch-all rethrows it,
//    and no function of pyfacade that can reach the interpreter (any
//    Py_DECREF can run Python code) is noexcept.
#pragma once

#include <Python.h>

#include <exception>
#include <string_view>
#include <type_traits>

namespace orbalin::pyfacade {

// Where a check failed, for the diagnostic. SourceLocation would do,
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

// For results the interpreter could not build: prints the pending error, then
// fails the check with "Python API call failed".
PyObject* fail_python_api_call(SourceLocation where = SourceLocation::current());

// Called after an interpreter call reported failure: makes sure an exception
// is pending. Returns null, for `return ensure_error_set();`.
PyObject* ensure_error_set();

// Converts the exception being handled in a catch block into a Python error.
// What is not a C++ exception (the runtime's forced unwind of a thread that
// pthread_exit or pthread_cancel ends, or another language's exception) is
// not ours to stop: it is rethrown, untouched.
void set_error_from_current_exception(SourceLocation where);

// The value an entry point of result type T returns on failure.
template <class T>
constexpr T failure_result() noexcept {
    if constexpr (std::is_pointer_v<T>) {
        return nullptr;
    } else {
        return static_cast<T>(-1);
    }
}

// Runs `body` so that no C++ exception of the module's escapes: the
// entry-point wrapper. Deliberately not noexcept, for the forced unwind.
template <class Body>
auto guarded(Body&& body, SourceLocation where = SourceLocation::current()) -> decltype(body()) {
    try {
        return body();
    }
#if defined(_LIBCPP_VERSION)
    // With libc++ (the wheels are built with it) a catch-all also enters for
    // glibc's forced unwind, but rethrowing it from there starts a new search
    // that finds no handler and terminates. So the forced unwind is not caught
    // at all; everything the module itself throws is a std::exception.
    catch (const std::exception&) {
#else
    catch (...) {
#endif
        set_error_from_current_exception(where);  // rethrows a forced unwind
        return failure_result<decltype(body())>();
    }
}

}  // namespace orbalin::pyfacade
