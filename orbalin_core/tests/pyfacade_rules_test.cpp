// The binding layer's failure rules, in an embedded interpreter: native work
// that throws std::bad_alloc ends in MemoryError, any other std::exception in
// a failed internal check (InternalFailure with its text), and what is not a
// std::exception is not caught; a thread that the C runtime ends inside a
// Python callback unwinds through the module's frames without aborting the
// process or touching references.
#include <gtest/gtest.h>

#include <Python.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

#include "pyfacade/compat.hpp"
#include "pyfacade/conversion.hpp"
#include "pyfacade/failure.hpp"
#include "pyfacade/owned_ref.hpp"

namespace orbalin::pyfacade {
namespace {

// The pending exception's type and text, clearing it.
struct Raised {
    PyObject* type = nullptr;
    std::string text;
};

Raised take_pending() {
    Raised raised;
    const OwnedRef error = take_raised_exception();
    if (!error) {
        return raised;
    }
    raised.type = reinterpret_cast<PyObject*>(Py_TYPE(error.get()));  // classes outlive the test
    const OwnedRef text = OwnedRef::steal(PyObject_Str(error.get()));
    raised.text = text ? PyUnicode_AsUTF8(text.get()) : "";
    return raised;
}

// CTest runs each test in a process of its own, so here InternalFailure does
// not exist yet: the class is created while the earlier error is held aside.
TEST(FailCheck, ThePendingErrorBecomesTheCauseOfInternalFailure) {
    PyErr_SetString(PyExc_MemoryError, "append failed");
    EXPECT_EQ(fail_check("could not append __name__ to __all__"), nullptr);
    const OwnedRef raised = take_raised_exception();
    ASSERT_TRUE(raised);
    EXPECT_EQ(reinterpret_cast<PyObject*>(Py_TYPE(raised.get())), internal_failure_class());
    const OwnedRef cause = OwnedRef::steal(PyException_GetCause(raised.get()));
    ASSERT_TRUE(cause);
    EXPECT_EQ(reinterpret_cast<PyObject*>(Py_TYPE(cause.get())), PyExc_MemoryError);
    const OwnedRef text = OwnedRef::steal(PyObject_Str(cause.get()));
    ASSERT_TRUE(text);
    EXPECT_STREQ(PyUnicode_AsUTF8(text.get()), "append failed");
}

TEST(FailCheck, WithoutAPendingErrorThereIsNoCause) {
    fail_check("py_get_constant: name must be non-empty");
    const OwnedRef raised = take_raised_exception();
    ASSERT_TRUE(raised);
    EXPECT_EQ(PyException_GetCause(raised.get()), nullptr);
    EXPECT_EQ(PyErr_Occurred(), nullptr);
}

TEST(RunNative, BadAllocBecomesMemoryError) {
    const auto result = run_native([]() -> int { throw std::bad_alloc(); });
    EXPECT_FALSE(result.has_value());
    EXPECT_EQ(take_pending().type, PyExc_MemoryError);
}

TEST(RunNative, OtherStandardExceptionsAreFailedChecksWithTheirText) {
    const auto result = run_native([]() -> int { throw std::length_error("record too large to store"); });
    EXPECT_FALSE(result.has_value());
    const Raised raised = take_pending();
    EXPECT_EQ(raised.type, internal_failure_class());
    EXPECT_EQ(raised.text, "record too large to store");
}

TEST(RunNative, KeepsTheStartOfALongTextWithoutAllocating) {
    const std::string long_text(10'000, 'x');
    EXPECT_FALSE(run_native([&]() -> int { throw std::runtime_error(long_text); }).has_value());
    const Raised raised = take_pending();
    EXPECT_EQ(raised.type, internal_failure_class());
    EXPECT_FALSE(raised.text.empty());
    EXPECT_EQ(raised.text, long_text.substr(0, raised.text.size()));
}

// What the module does not throw is not its to catch.
TEST(RunNative, LetsOtherExceptionsPass) {
    EXPECT_THROW((void)run_native([]() -> int { throw 42; }), int);
    EXPECT_EQ(PyErr_Occurred(), nullptr);
}

TEST(RunNative, PassesResultsThrough) {
    EXPECT_EQ(run_native([] { return Py_ssize_t{17}; }), 17);
    EXPECT_EQ(PyErr_Occurred(), nullptr);
}

TEST(InternalFailure, IsOneClassDerivedFromBaseExceptionOnly) {
    PyObject* cls = internal_failure_class();
    ASSERT_NE(cls, nullptr);
    EXPECT_EQ(cls, internal_failure_class());
    EXPECT_EQ(PyObject_IsSubclass(cls, PyExc_BaseException), 1);
    EXPECT_EQ(PyObject_IsSubclass(cls, PyExc_Exception), 0);
}

TEST(EnsureErrorSet, ReportsAFailureWithoutAnExceptionAsSystemError) {
    EXPECT_EQ(ensure_error_set(), nullptr);
    const Raised raised = take_pending();
    EXPECT_EQ(raised.type, PyExc_SystemError);
    EXPECT_EQ(raised.text, "attempted to fetch exception but none was set");

    PyErr_SetString(PyExc_ValueError, "kept");
    ensure_error_set();
    EXPECT_EQ(take_pending().type, PyExc_ValueError);
}

// An object allocator that fails the n-th request from now, then serves
// every later one again, with the interpreter's own allocator.
class FailingObjectAllocator {
public:
    explicit FailingObjectAllocator(int fail_at) : countdown_(fail_at) {
        PyMem_GetAllocator(PYMEM_DOMAIN_OBJ, &original_);
        PyMemAllocatorEx failing{this, &malloc_, &calloc_, &realloc_, &free_};
        PyMem_SetAllocator(PYMEM_DOMAIN_OBJ, &failing);
    }
    ~FailingObjectAllocator() { PyMem_SetAllocator(PYMEM_DOMAIN_OBJ, &original_); }
    FailingObjectAllocator(const FailingObjectAllocator&) = delete;
    FailingObjectAllocator& operator=(const FailingObjectAllocator&) = delete;
    FailingObjectAllocator(FailingObjectAllocator&&) = delete;
    FailingObjectAllocator& operator=(FailingObjectAllocator&&) = delete;

    [[nodiscard]] bool failed() const { return countdown_ < 0; }

private:
    bool fails_now() { return countdown_-- == 0; }
    static FailingObjectAllocator& self(void* context) { return *static_cast<FailingObjectAllocator*>(context); }
    static void* malloc_(void* context, std::size_t size) {
        auto& a = self(context);
        return a.fails_now() ? nullptr : a.original_.malloc(a.original_.ctx, size);
    }
    static void* calloc_(void* context, std::size_t count, std::size_t size) {
        auto& a = self(context);
        return a.fails_now() ? nullptr : a.original_.calloc(a.original_.ctx, count, size);
    }
    static void* realloc_(void* context, void* block, std::size_t size) {
        auto& a = self(context);
        return a.fails_now() ? nullptr : a.original_.realloc(a.original_.ctx, block, size);
    }
    static void free_(void* context, void* block) { self(context).original_.free(self(context).original_.ctx, block); }

    PyMemAllocatorEx original_{};
    int countdown_;
};

// Whichever allocation of the list or of its str fails, the caller gets the
// interpreter's MemoryError itself: nothing printed, no InternalFailure.
TEST(NamesToList, AnAllocationFailureLeavesTheInterpretersMemoryErrorPending) {
    const std::string_view names[] = {"b3", "chi_eff", "gamma_em", "n_gen_sq_with_a_longer_name"};
    int failures = 0;
    for (int fail_at = 0; fail_at < 20; ++fail_at) {
        OwnedRef list;
        bool failed = false;
        {
            FailingObjectAllocator allocator(fail_at);
            list = names_to_list(names);
            failed = allocator.failed();
        }
        if (!failed) {
            ASSERT_TRUE(list);
            continue;
        }
        ++failures;
        EXPECT_FALSE(list) << "allocation " << fail_at;
        EXPECT_EQ(take_pending().type, PyExc_MemoryError) << "allocation " << fail_at;
    }
    EXPECT_GT(failures, 1);  // the list and at least one str
}

TEST(DoubleArgument, MinusOneIsAValueUnlessAnErrorIsPending) {
    const OwnedRef minus_one = OwnedRef::steal(PyLong_FromLong(-1));
    const auto value = double_argument(minus_one.get(), "tol");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(*value, -1.0);
    EXPECT_EQ(PyErr_Occurred(), nullptr);
}

// new_str against the interpreter's own UTF-8 decoding, on both sides of its
// fast path: lengths around the eight-byte steps, a non-ASCII byte in each
// position class, and the shared objects of the empty and one-character str.
TEST(NewStr, EqualsTheDecodedTextOnEveryPath) {
    const std::string_view texts[] = {
        "",
        "a",
        "\x7f",
        "ab",
        "b3",
        "n_gen",
        "abcdefg",
        "abcdefgh",
        "abcdefghi",
        "topo_gen_check_",
        "v_higgs_mev_and_more",
        "\xc3\xa9",
        "na\xc3\xafve",
        "abcdefg\xc3\xa9",
        "abcdefgh\xc3\xa9",
        std::string_view("a\0b", 3),
    };
    for (const std::string_view text : texts) {
        SCOPED_TRACE(testing::PrintToString(std::string(text)));
        const OwnedRef made = new_str(text);
        const OwnedRef decoded =
            OwnedRef::steal(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), nullptr));
        ASSERT_TRUE(made && decoded);
        EXPECT_EQ(PyUnicode_Compare(made.get(), decoded.get()), 0);
        EXPECT_EQ(PyUnicode_KIND(made.get()), PyUnicode_KIND(decoded.get()));
        if (text.size() < 2) {
            EXPECT_EQ(made.get(), decoded.get()) << "not the interpreter's shared object";
        }
    }
}

// A thread ended while the module has called back into Python: CPython ends
// a daemon thread so at shutdown, with pthread_exit once it has let go of its
// thread state; a cancelled thread unwinds the same way. The callback here is
// a __float__ written in C that does exactly that, reached through the
// module's own argument conversion.
enum class EndOfThread { exit, cancel };

// What the thread was given and what it did; one test per process (CTest).
struct CallbackThread {
    EndOfThread how = EndOfThread::exit;
    PyObject* argument = nullptr;        // its __float__ ends the thread
    PyObject* held_in_module = nullptr;  // an OwnedRef on the unwound frames holds it
    std::atomic<bool> in_callback{false};
    std::atomic<bool> interpreter_taken{false};  // another thread holds the GIL now
    bool unwound = false;                        // the thread's outermost frame was cleaned up
    bool returned = false;
} thread_under_test;

PyObject* float_that_ends_the_thread(PyObject* /*self*/, PyObject* /*no_args*/) {
    PyEval_SaveThread();  // as CPython does before it ends a thread
    thread_under_test.in_callback = true;
    // At shutdown the main thread holds the GIL while the others are ended.
    while (!thread_under_test.interpreter_taken) {
        usleep(1000);
    }
    if (thread_under_test.how == EndOfThread::exit) {
        pthread_exit(nullptr);
    }
    for (;;) {
        pause();  // a cancellation point
    }
}

void* call_into_the_module(void* /*unused*/) {
    CallbackThread& test = thread_under_test;
    struct MarkUnwound {
        bool& unwound;
        explicit MarkUnwound(bool& flag) : unwound(flag) {}
        MarkUnwound(const MarkUnwound&) = delete;
        MarkUnwound& operator=(const MarkUnwound&) = delete;
        MarkUnwound(MarkUnwound&&) = delete;
        MarkUnwound& operator=(MarkUnwound&&) = delete;
        ~MarkUnwound() { unwound = true; }
    } mark{test.unwound};
    PyGILState_Ensure();
    {
        const OwnedRef held = OwnedRef::new_ref(test.held_in_module);
        (void)double_argument(test.argument, "tol");
    }
    test.returned = true;
    return nullptr;
}

void end_a_thread_inside_a_callback(EndOfThread how) {
    // A class whose __float__ is the C function above, called without arguments.
    static PyMethodDef ends_the_thread{"ends_the_thread", float_that_ends_the_thread, METH_NOARGS, nullptr};
    const OwnedRef function = OwnedRef::steal(PyCFunction_New(&ends_the_thread, nullptr));
    const OwnedRef names = OwnedRef::steal(PyDict_New());
    ASSERT_TRUE(function && names);
    ASSERT_EQ(PyDict_SetItemString(names.get(), "ends_the_thread", function.get()), 0);
    ASSERT_EQ(PyDict_SetItemString(names.get(), "__builtins__", PyEval_GetBuiltins()), 0);
    const OwnedRef made =
        OwnedRef::steal(PyRun_String("class EndsThread:\n"
                                     "    __float__ = staticmethod(ends_the_thread)\n"
                                     "argument = EndsThread()\n",
                                     Py_file_input, names.get(), names.get()));
    ASSERT_TRUE(made);
    const OwnedRef argument = OwnedRef::new_ref(PyDict_GetItemString(names.get(), "argument"));
    const OwnedRef held = OwnedRef::steal(PyList_New(0));
    ASSERT_TRUE(argument && held);
    const Py_ssize_t references_before = Py_REFCNT(held.get());

    CallbackThread& test = thread_under_test;  // afresh, should both tests share a process
    test.how = how;
    test.argument = argument.get();
    test.held_in_module = held.get();
    test.in_callback = false;
    test.interpreter_taken = false;
    test.unwound = false;
    test.returned = false;
    PyThreadState* main_thread = PyEval_SaveThread();
    pthread_t thread{};
    ASSERT_EQ(pthread_create(&thread, nullptr, call_into_the_module, nullptr), 0);
    while (!test.in_callback) {
        usleep(1000);
    }
    PyEval_RestoreThread(main_thread);
    test.interpreter_taken = true;
    if (how == EndOfThread::cancel) {
        ASSERT_EQ(pthread_cancel(thread), 0);
    }
    void* result = nullptr;
    ASSERT_EQ(pthread_join(thread, &result), 0);

    EXPECT_EQ(result, how == EndOfThread::exit ? nullptr : PTHREAD_CANCELED);
    EXPECT_TRUE(test.in_callback);
    EXPECT_TRUE(test.unwound) << "the thread's frames were not unwound";
    EXPECT_FALSE(test.returned) << "the module swallowed the unwind";
    // The handle on the unwound frames let its reference go unreleased: the
    // thread held no thread state, so the count, which this thread owns by
    // holding the GIL, was not touched.
    EXPECT_EQ(Py_REFCNT(held.get()), references_before + 1);
}

TEST(ForcedUnwind, PthreadExitInACallbackPassesThroughTheModule) {
    end_a_thread_inside_a_callback(EndOfThread::exit);
}

TEST(ForcedUnwind, CancellationInACallbackPassesThroughTheModule) {
    end_a_thread_inside_a_callback(EndOfThread::cancel);
}

}  // namespace
}  // namespace orbalin::pyfacade

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) {
        return RUN_ALL_TESTS();  // test discovery needs no interpreter
    }
    // Objects come from malloc rather than pymalloc's arenas, so that a leak
    // checker sees every object and what it references. The interpreter
    // lives until the process ends and is not finalized: finalizing an
    // embedded interpreter frees its own objects incompletely.
    PyPreConfig preconfig;
    PyPreConfig_InitPythonConfig(&preconfig);
    preconfig.allocator = PYMEM_ALLOCATOR_MALLOC;
    if (PyStatus_Exception(Py_PreInitialize(&preconfig))) {
        return 2;
    }
    Py_InitializeEx(0);
    return RUN_ALL_TESTS();
}
