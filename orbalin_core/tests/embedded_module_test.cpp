// The built extension in an application that embeds Python: started more
// than once, each runtime gets a working module, as a first import does, and
// nothing of a finalized runtime is touched by the next; with subinterpreters,
// the first interpreter that imports the module has it, whichever that is,
// and every other one is refused.
#include <gtest/gtest.h>

#include <Python.h>

#include <string>

// Finalizing an embedded interpreter leaves some of the interpreter's own
// objects behind, and the module's objects of a finalized runtime are dropped
// unreleased on purpose; the leak checks belong to the other tests. The
// sanitizer runtime finds this hook by name, so it must be visible.
#if defined(__SANITIZE_ADDRESS__)
extern "C" __attribute__((visibility("default"))) int __lsan_is_turned_off() {  // NOLINT(bugprone-reserved-identifier)
    return 1;
}
#endif

namespace {

// Objects come from malloc rather than pymalloc's arenas, so that under
// AddressSanitizer a touch of a finalized runtime's object is a finding.
void start_python() {
    PyPreConfig preconfig;
    PyPreConfig_InitPythonConfig(&preconfig);
    preconfig.allocator = PYMEM_ALLOCATOR_MALLOC;
    ASSERT_FALSE(PyStatus_Exception(Py_PreInitialize(&preconfig)));
    Py_InitializeEx(0);
}

// The module imported from the build tree and used through each of its
// parts; InternalFailure and the type objects are made afresh too.
const std::string use_the_module = std::string("import sys\nsys.path.insert(0, '") + ORBALIN_EXTENSION_DIR + R"(')
import _orbalin_core as m
assert len(m.__all__) == 7 and all(hasattr(m, name) for name in m.__all__), m.__all__
assert m.__version__ == "2.3.0"
assert m.py_get_constant("n_gen") == {"name": "n_gen", "status": "Seed", "uncertainty": None,
                                      "units": "count", "value": 3.0}
assert len(m.py_list_constants()) == len(m.PyFormulasRegistry()) == 17
assert m.PyFormulasRegistry().get("b3") == 24.0
assert m.py_list_quarks() == ["bottom", "charm", "down", "strange", "top", "up"]
assert m.PyCKMMatrix.from_topology().is_unitary(1e-12)
try:
    m.py_get_constant("")
except BaseException as error:
    assert type(error).__name__ == "InternalFailure", type(error)
else:
    raise AssertionError("an empty name was accepted")
try:
    m.PyQuarkRegistry(1)
except TypeError as error:
    assert str(error) == "PyQuarkRegistry.__new__() takes 0 positional arguments but 1 was given"
del sys.modules["_orbalin_core"]
import _orbalin_core
assert _orbalin_core is m
)";

TEST(EmbeddedModule, WorksInEveryRuntimeOfTheProcess) {
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE("runtime " + std::to_string(round));
        start_python();
        EXPECT_EQ(PyRun_SimpleString(use_the_module.c_str()), 0);  // a failure prints its traceback
        ASSERT_EQ(Py_FinalizeEx(), 0);
    }
}

// Imports the module from the build tree into the current interpreter.
const std::string import_the_module =
    std::string("import sys\nsys.path.insert(0, '") + ORBALIN_EXTENSION_DIR + "')\nimport _orbalin_core as m\n";

const std::string the_module_works = import_the_module + R"(
assert m.PyFormulasRegistry().get("n_gen") == 3.0
assert m.py_list_quarks() == ["bottom", "charm", "down", "strange", "top", "up"]
)";

const std::string the_module_is_refused = R"(
import sys
sys.path.insert(0, ')" + std::string(ORBALIN_EXTENSION_DIR) +
                                          R"(')
try:
    import _orbalin_core
except ImportError as error:
    assert str(error) == ("tessellarch._orbalin_core does not support subinterpreters: it can be imported "
                          "only in the interpreter that imported it first"), str(error)
else:
    raise AssertionError("a second interpreter got the module")
)";

// A subinterpreter as Py_NewInterpreter makes it: with the legacy settings,
// sharing the main interpreter's GIL, so that a single-phase module such as
// ours reaches its init function there too.
class Subinterpreters : public testing::Test {
protected:
    void SetUp() override {
        start_python();
        main_ = PyThreadState_Get();
        sub_ = Py_NewInterpreter();
        ASSERT_NE(sub_, nullptr);
        PyThreadState_Swap(main_);
    }
    void TearDown() override {
        PyThreadState_Swap(sub_);
        Py_EndInterpreter(sub_);
        PyThreadState_Swap(main_);
        EXPECT_EQ(Py_FinalizeEx(), 0);
    }
    // Runs `code` in the subinterpreter (or the main one); 0 when it passed.
    int in_subinterpreter(const std::string& code) { return run_in(sub_, code); }
    int in_main(const std::string& code) { return run_in(main_, code); }

private:
    static int run_in(PyThreadState* interpreter, const std::string& code) {
        PyThreadState_Swap(interpreter);
        return PyRun_SimpleString(code.c_str());  // a failure prints its traceback
    }
    PyThreadState* main_ = nullptr;
    PyThreadState* sub_ = nullptr;
};

TEST_F(Subinterpreters, MainInterpreterFirst) {
    EXPECT_EQ(in_main(the_module_works), 0);
    EXPECT_EQ(in_subinterpreter(the_module_is_refused), 0);
    EXPECT_EQ(in_main(the_module_works), 0);
}

TEST_F(Subinterpreters, SubinterpreterFirst) {
#if PY_VERSION_HEX >= 0x030D0000
    // From 3.13 CPython runs the init function of a single-phase module in
    // the main interpreter first, whichever interpreter imports it: the main
    // interpreter is then the first to have it, even here.
    EXPECT_EQ(in_subinterpreter(the_module_is_refused), 0);
    EXPECT_EQ(in_main(the_module_works), 0);
#else
    EXPECT_EQ(in_subinterpreter(the_module_works), 0);
    EXPECT_EQ(in_main(the_module_is_refused), 0);
    EXPECT_EQ(in_subinterpreter(the_module_works), 0);
#endif
}

}  // namespace
