// The binding layer's failure rules, in an embedded interpreter: no C++
// exception crosses an entry point, std::bad_alloc becomes MemoryError, any
// other exception a failed internal check (InternalFailure with its text).
#include <gtest/gtest.h>

#include <Python.h>

#include <new>
#include <stdexcept>
#include <string>

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

TEST(Guarded, BadAllocBecomesMemoryError) {
    PyObject* result = guarded([]() -> PyObject* { throw std::bad_alloc(); });
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(take_pending().type, PyExc_MemoryError);
}

TEST(Guarded, OtherExceptionsAreFailedChecksWithTheirText) {
    const Py_ssize_t length = guarded([]() -> Py_ssize_t { throw std::runtime_error("shard table broke"); });
    EXPECT_EQ(length, -1);
    const Raised raised = take_pending();
    EXPECT_EQ(raised.type, internal_failure_class());
    EXPECT_EQ(raised.text, "shard table broke");
}

TEST(Guarded, NonStandardExceptionsToo) {
    EXPECT_EQ(guarded([]() -> PyObject* { throw 42; }), nullptr);
    const Raised raised = take_pending();
    EXPECT_EQ(raised.type, internal_failure_class());
    EXPECT_EQ(raised.text, "unknown C++ exception");
}

TEST(Guarded, PassesResultsThrough) {
    EXPECT_EQ(guarded([]() -> Py_ssize_t { return 17; }), 17);
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

TEST(FailPythonApiCall, PrintsThePendingErrorAndFailsTheCheck) {
    PyErr_SetString(PyExc_MemoryError, "list");
    EXPECT_EQ(fail_python_api_call(), nullptr);
    const Raised raised = take_pending();
    EXPECT_EQ(raised.type, internal_failure_class());
    EXPECT_EQ(raised.text, "Python API call failed");
}

TEST(DoubleArgument, MinusOneIsAValueUnlessAnErrorIsPending) {
    const OwnedRef minus_one = OwnedRef::steal(PyLong_FromLong(-1));
    const auto value = double_argument(minus_one.get(), "tol");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(*value, -1.0);
    EXPECT_EQ(PyErr_Occurred(), nullptr);
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
