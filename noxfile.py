"""The project's checks, one nox session each (`nox -l` lists them).

`nox -s tests` runs every test, native and Python; `nox` alone runs the quick
checks (tests, stubs, tidy, format); `.ci/run` runs every session, in the
order below. The Python work is written here; the
system work (Debian packages, the Debian unstable root, building CPython,
valgrind, the wheels) lives in the scripts under tools/ that the sessions
call. Each session installs what it needs and fails, never skips, when it
cannot run: a missing interpreter, library or tool fails it by name.
"""

from __future__ import annotations

import os
import re
import shutil
import subprocess
import tempfile
from collections.abc import Iterator, Mapping, Sequence
from contextlib import contextmanager
from pathlib import Path, PurePosixPath

import nox

ROOT = Path(__file__).resolve().parent
TOOLS = ROOT / "tools"
BUILD = Path(os.environ.get("ORBALIN_CHECK_DIR", ROOT / "build" / "check"))
PYPROJECT = nox.project.load_toml(ROOT / "pyproject.toml")

# The supported CPython releases, written once: the classifiers in
# pyproject.toml (the suite checks that the README names the same).
PYTHONS = nox.project.python_versions(PYPROJECT, free_threaded=False)
# Those that neither this machine's distribution nor pyenv provides come from
# Debian unstable's packages, in a root of their own (tools/debian-root.sh);
# the others from pyenv.
DEBIAN_ROOT_PYTHONS = ("3.14", "3.15")
# Where tools/debian-root.sh copies the checkout inside that root.
SOURCE_IN_ROOT = PurePosixPath("/src")

# The one Clang release the checks use (Debian 12's), named in full so that
# a second installed release can never be picked up by accident.
CLANG = "14"

nox.options.default_venv_backend = "venv"
nox.options.error_on_missing_interpreters = True


# --- Running the suite ------------------------------------------------------


def pytest_command(python: str | os.PathLike[str], *args: str, root: PurePosixPath | Path = ROOT) -> list[str]:
    """The whole pytest suite the project's way (tools/run-suite), against
    whatever package `python` imports."""
    return [f"{root}/tools/run-suite", str(python), str(root), *args]


def run_pytest(session: nox.Session, python: str | os.PathLike[str], *args: str,
               env: Mapping[str, str] | None = None) -> None:
    """Runs the suite from a scratch directory, so that the checkout is never
    what gets imported; `env` applies to the Python process alone."""
    with scratch_directory(session):
        session.run(*pytest_command(python, *args), env=env, external=True)


def run_pytest_in_debian_root(session: nox.Session, venv: str, *args: str) -> None:
    """The checkout copied into the Debian root, installed into `venv` there
    with warnings as errors, then the suite from a scratch directory."""
    python = f"{venv}/bin/python"
    in_debian_root(session, python, "-m", "pip", "install", "-q", "--disable-pip-version-check", "pytest")
    in_debian_root(session, *install_command(python, SOURCE_IN_ROOT))
    in_debian_root(session, *pytest_command(python, "-q", *args, root=SOURCE_IN_ROOT), scratch=True)


@contextmanager
def scratch_directory(session: nox.Session) -> Iterator[Path]:
    with tempfile.TemporaryDirectory() as scratch, session.chdir(scratch):
        yield Path(scratch)


def install_command(python: str | os.PathLike[str], source: PurePosixPath | Path = ROOT) -> list[str]:
    """Installs the package from the checkout, compiled with warnings as errors."""
    return [
        str(python), "-m", "pip", "install", "-q", "--disable-pip-version-check", "--force-reinstall",
        "--no-deps", "--config-settings=cmake.define.ORBALIN_WARNINGS_AS_ERRORS=ON", str(source),
    ]


def install_package(session: nox.Session, python: str | os.PathLike[str] = "python") -> None:
    session.run(*install_command(python), external=True)


def stage_package(directory: Path, build: Path) -> Path:
    """The Python package with the extension from a CMake build, importable
    with PYTHONPATH=<directory>; returns that package's directory."""
    extensions = list((build / "orbalin_core").glob("_orbalin_core*.so"))
    if len(extensions) != 1:
        raise RuntimeError(f"expected one extension in {build / 'orbalin_core'}, found {extensions}")
    shutil.rmtree(directory, ignore_errors=True)
    package = directory / "tessellarch"
    shutil.copytree(ROOT / "python" / "tessellarch", package)
    shutil.copy2(extensions[0], package)
    return package


# --- Tools and builds ---------------------------------------------------------


def venv_python(session: nox.Session) -> Path:
    return Path(session.virtualenv.location) / "bin" / "python"


def on_session_path(session: nox.Session, command: str) -> str | None:
    return shutil.which(command, path=os.pathsep.join([*session.bin_paths, os.environ.get("PATH", "")]))


def need_debian_packages(session: nox.Session, *packages: str) -> None:
    session.run(TOOLS / "apt-install", *packages, external=True)


def need_build_tools(session: nox.Session) -> None:
    """CMake and Ninja: those on PATH, else from pip into the session."""
    for command in ("cmake", "ninja"):
        if on_session_path(session, command) is None:
            session.install(command)


def need_gtest(session: nox.Session) -> None:
    """GoogleTest: used when CMake finds it already (a system package,
    GTEST_ROOT, CMAKE_PREFIX_PATH); else Debian's libgtest-dev where there is
    apt-get; else one line says what to install."""
    with tempfile.TemporaryDirectory() as probe:
        (Path(probe) / "CMakeLists.txt").write_text(
            "cmake_minimum_required(VERSION 3.21)\nproject(probe CXX)\nfind_package(GTest REQUIRED)\n")
        # Ninja, as the build uses: CMake's default generator needs make,
        # which a minimal system lacks, and would fail whether GoogleTest is
        # there or not.
        cmake = on_session_path(session, "cmake") or "cmake"
        ninja = on_session_path(session, "ninja") or "ninja"
        found = subprocess.run([cmake, "-S", probe, "-B", f"{probe}/build", "-G", "Ninja",
                                f"-DCMAKE_MAKE_PROGRAM={ninja}"], capture_output=True).returncode == 0
    if found:
        return
    if shutil.which("apt-get") and shutil.which("dpkg-query"):
        need_debian_packages(session, "libgtest-dev")
        return
    session.error("GoogleTest not found: install it (Debian/Ubuntu libgtest-dev, Fedora gtest-devel, "
                  "Homebrew googletest) or set GTEST_ROOT")


def cmake_build(session: nox.Session, build: Path, *options: str, targets: Sequence[str] = (),
                env: Mapping[str, str] | None = None) -> None:
    """Configures (quietly, unless it fails) and builds; warnings are errors."""
    session.run("cmake", "-S", ROOT, "-B", build, "-G", "Ninja", "-DORBALIN_WARNINGS_AS_ERRORS=ON", *options,
                env=env, silent=True, external=True)
    session.run("cmake", "--build", build, *(["--target", *targets] if targets else []), external=True)


def ctest(session: nox.Session, build: Path, *args: str, env: Mapping[str, str] | None = None) -> None:
    session.run("ctest", "--test-dir", build, "--output-on-failure", "-j2", *args, env=env, external=True)


def project_sources() -> list[Path]:
    listed = subprocess.run(["git", "-C", ROOT, "ls-files", "--", "*.cpp", "*.hpp"],
                            capture_output=True, text=True, check=True).stdout.split()
    return [ROOT / name for name in listed]


def run_reporting(session: nox.Session, command: Sequence[str | os.PathLike[str]], keep: str,
                  env: Mapping[str, str] | None = None, context: int = 0, limit: int = 200) -> None:
    """Runs a command whose output is long; prints only the lines matching
    `keep` (and `context` lines after each), and fails when the command does."""
    session.log(" ".join(map(str, command[:3])) + " ...")
    result = subprocess.run(list(map(str, command)), capture_output=True, text=True,
                            env={**os.environ, **(env or {})})
    lines = (result.stdout + result.stderr).splitlines()
    shown: list[str] = []
    for index, line in enumerate(lines):
        if re.search(keep, line):
            shown.extend(lines[index:index + 1 + context])
    print("\n".join(shown[:limit]))
    if result.returncode != 0:
        session.error(f"{Path(command[0]).name} failed with exit code {result.returncode}")


def pyenv_prefixes(session: nox.Session, versions: Sequence[str]) -> list[Path]:
    """The newest pyenv installation of each version; fails naming those it
    cannot find."""
    try:
        pyenv_root = Path(subprocess.run(["pyenv", "root"], capture_output=True, text=True,
                                         check=True).stdout.strip())
    except (OSError, subprocess.CalledProcessError):
        pyenv_root = Path.home() / ".pyenv"
    prefixes, missing = [], []
    for minor in versions:
        patches = [path for path in (pyenv_root / "versions").glob(f"{minor}.*")
                   if path.name.removeprefix(f"{minor}.").isdigit()]
        if patches:
            prefixes.append(max(patches, key=lambda path: int(path.name.rsplit(".", 1)[1])))
        else:
            missing.append(minor)
    if missing:
        session.error(f"CPython {' '.join(missing)} missing under {pyenv_root}/versions "
                      f"(pyenv install {' '.join(missing)})")
    return prefixes


def debian_root(session: nox.Session, *args: str, silent: bool = False) -> str | bool | None:
    return session.run(TOOLS / "debian-root.sh", *args, silent=silent, stderr=None if silent else subprocess.STDOUT,
                       external=True)


def in_debian_root(session: nox.Session, *command: str, scratch: bool = False, silent: bool = False) -> str:
    output = debian_root(session, "run", *(["--scratch"] if scratch else []), *command, silent=silent)
    return output if isinstance(output, str) else ""


# --- Sessions, in the order .ci/run runs them; `nox` alone runs the quick ones --


@nox.session
def tests(session: nox.Session) -> None:
    """Native tests (GoogleTest via CTest), then the whole pytest suite against the installed package."""
    need_build_tools(session)
    need_gtest(session)
    session.install("pytest")
    build = Path(os.environ.get("ORBALIN_BUILD_DIR", ROOT / "build" / "native"))
    cmake_build(session, build, "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DORBALIN_BUILD_TESTS=ON",
                f"-DPython_EXECUTABLE={venv_python(session)}")
    ctest(session, build, "--timeout", "300")
    install_package(session)
    run_pytest(session, "python", *session.posargs)


@nox.session
def stubs(session: nox.Session) -> None:
    """mypy's stubtest of the installed module against its .pyi; mypy --strict over a usage sample."""
    session.install("mypy", "typing_extensions")
    install_package(session)
    with scratch_directory(session):
        session.run("python", "-m", "mypy.stubtest", "tessellarch._orbalin_core")
        session.run("python", "-m", "mypy", "--strict", "--no-incremental", ROOT / "tests" / "typing_usage.py")


@nox.session(default=False)
def bench(session: nox.Session) -> None:
    """The benchmarks build and run once, briefly (no timing is judged)."""
    need_debian_packages(session, "libbenchmark-dev")
    need_build_tools(session)
    build = BUILD / "bench"
    cmake_build(session, build, "-DCMAKE_BUILD_TYPE=Release", "-DORBALIN_BUILD_EXTENSION=OFF",
                "-DORBALIN_BUILD_BENCHMARKS=ON")
    session.run(build / "orbalin_core" / "benchmarks" / "core_benchmarks", "--benchmark_min_time=0.001",
                silent=True, external=True)
    install_package(session)
    with scratch_directory(session):
        session.run("python", ROOT / "benchmarks" / "run.py", "--repeats", "1", "--target-ms", "1", silent=True)
    session.log("benchmarks: built and ran")


@nox.session(default=False)
def asan(session: nox.Session) -> None:
    """Extension and native tests under AddressSanitizer and UBSan; the whole pytest suite on that build."""
    need_debian_packages(session, "libgtest-dev")
    need_build_tools(session)
    session.install("pytest")
    build = BUILD / "asan"
    cmake_build(session, build, "-DCMAKE_BUILD_TYPE=Debug", "-DORBALIN_BUILD_TESTS=ON",
                "-DORBALIN_SANITIZE=address,undefined", f"-DPython_EXECUTABLE={venv_python(session)}")
    sanitizers = {
        "ASAN_OPTIONS": "detect_leaks=1:strict_string_checks=1:check_initialization_order=1"
                        ":detect_stack_use_after_return=1",
        "UBSAN_OPTIONS": "print_stacktrace=1:halt_on_error=1",
        "LSAN_OPTIONS": f"suppressions={TOOLS / 'sanitizers' / 'lsan.supp'}:print_suppressions=0",
    }
    ctest(session, build, env=sanitizers)
    package = stage_package(build / "site", build)
    # The interpreter is not built with the sanitizers, so their runtimes are
    # preloaded; PYTHONMALLOC=malloc sends every Python allocation through
    # them instead of pymalloc's arenas.
    runtimes = [subprocess.run(["gcc", f"-print-file-name={name}"], capture_output=True, text=True,
                               check=True).stdout.strip() for name in ("libasan.so", "libubsan.so")]
    run_pytest(session, venv_python(session), "-q", env={
        **sanitizers, "LD_PRELOAD": " ".join(runtimes), "PYTHONMALLOC": "malloc",
        "PYTHONPATH": str(package.parent), "ORBALIN_EXPECT_PACKAGE": str(package)})


@nox.session(default=False)
def tsan(session: nox.Session) -> None:
    """Native tests, the concurrent readers and writers among them, under ThreadSanitizer."""
    need_debian_packages(session, "libgtest-dev")
    need_build_tools(session)
    build = BUILD / "tsan"
    cmake_build(session, build, "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DORBALIN_BUILD_EXTENSION=OFF",
                "-DORBALIN_BUILD_TESTS=ON", "-DORBALIN_SANITIZE=thread")
    ctest(session, build, env={"TSAN_OPTIONS": "halt_on_error=1:second_deadlock_stack=1"})


@nox.session(default=False)
def refleaks(session: nox.Session) -> None:
    """The extension built for Debian's debug interpreter: the whole suite, then the reference and block leak loop."""
    need_debian_packages(session, "python3-dbg", "python3-dev", "python3-venv")
    need_build_tools(session)
    debug_python = shutil.which("python3-dbg")
    if debug_python is None or subprocess.run([debug_python, "-c", "import sys; sys.gettotalrefcount"],
                                              capture_output=True).returncode != 0:
        session.error(f"refleaks: {debug_python or 'python3-dbg'} is not a debug interpreter "
                      "(no sys.gettotalrefcount)")
    build = BUILD / "refleaks"
    # Debian's debug headers reuse the release pyconfig.h (Python.h there is a
    # link into the release directory), so Py_DEBUG must be given explicitly:
    # without it our Py_INCREF/Py_DECREF would not keep sys.gettotalrefcount.
    cmake_build(session, build, "-DCMAKE_BUILD_TYPE=Debug", "-DCMAKE_CXX_FLAGS=-DPy_DEBUG",
                f"-DPython_EXECUTABLE={debug_python}")
    python = build / "venv" / "bin" / "python"
    if not python.exists():
        session.run(debug_python, "-m", "venv", build / "venv", external=True)
    # pip under a debug interpreter reports its own unclosed files; quiet unless it fails.
    session.run(python, "-m", "pip", "install", "-q", "--disable-pip-version-check", "pytest", silent=True,
                external=True)
    package = stage_package(build / "site", build)
    env = {"PYTHONPATH": str(package.parent), "ORBALIN_EXPECT_PACKAGE": str(package)}
    run_pytest(session, python, "-q", "-k", "not test_no_reference_or_block_leaks", env=env)
    # Set, the leak loop fails rather than skips on a release interpreter.
    run_pytest(session, python, "-q", "-s", "-k", "test_no_reference_or_block_leaks",
               env={**env, "ORBALIN_REQUIRE_LEAK_LOOP": "1"})


@nox.session(default=False)
def valgrind(session: nox.Session) -> None:
    """valgrind memcheck over the native tests: no errors, no definite leaks."""
    need_debian_packages(session, "libgtest-dev", "valgrind")
    need_build_tools(session)
    build = BUILD / "valgrind"
    cmake_build(session, build, "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DORBALIN_BUILD_EXTENSION=OFF",
                "-DORBALIN_BUILD_TESTS=ON")
    session.run(TOOLS / "valgrind-native-tests", build, external=True)


@nox.session(default=False)
def pythons(session: nox.Session) -> None:
    """The package built and the whole suite on every supported CPython (`-- 3.12` for some)."""
    versions = session.posargs or PYTHONS
    need_debian_packages(session, "libgtest-dev")
    need_build_tools(session)
    from_root = [version for version in versions if version in DEBIAN_ROOT_PYTHONS]
    for prefix in pyenv_prefixes(session, [version for version in versions if version not in from_root]):
        session.log(f"pythons: CPython {prefix.name} (pyenv)")
        venv = BUILD / "pythons" / prefix.name
        if not (venv / "bin" / "python").exists():
            session.run(prefix / "bin" / "python3", "-m", "venv", venv, external=True)
        python = venv / "bin" / "python"
        session.run(python, "-m", "pip", "install", "-q", "--disable-pip-version-check", "pytest", external=True)
        install_package(session, python)
        run_pytest(session, python, "-q")
        session.log(f"pythons: the native tests that embed CPython {prefix.name}")
        native = BUILD / "pythons" / f"native-{prefix.name}"
        cmake_build(session, native, "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DORBALIN_BUILD_TESTS=ON",
                    f"-DPython_EXECUTABLE={prefix / 'bin' / 'python3'}",
                    targets=["pyfacade_rules_test", "embedded_module_test"])
        ctest(session, native, "-L", "embedded")
    if from_root:
        packages = ["g++", "cmake", "ninja-build"]
        packages += [f"python{version}-{kind}" for version in from_root for kind in ("dev", "venv")]
        debian_root(session, "need", *packages)
        debian_root(session, "copy-checkout", str(SOURCE_IN_ROOT))
        for version in from_root:
            release = in_debian_root(session, f"python{version}", "--version", silent=True).split()[-1]
            session.log(f"pythons: CPython {release} (Debian unstable)")
            debian_root(session, "venv", f"python{version}", f"/opt/venv-{version}")
            run_pytest_in_debian_root(session, f"/opt/venv-{version}")


@nox.session(python=False, default=False)
def freethreading(session: nox.Session) -> None:
    """CPython 3.13 built with --disable-gil: the GIL stays off, the whole suite passes, two threads against one."""
    output = debian_root(session, "freethreaded-python", silent=True)
    python = str(output).strip().splitlines()[-1]
    debian_root(session, "copy-checkout", str(SOURCE_IN_ROOT))
    in_debian_root(session, python, "-VV")
    venv = "/opt/venv-freethreaded"
    debian_root(session, "venv", python, venv)
    run_pytest_in_debian_root(session, venv, "-W", "error::RuntimeWarning")
    in_debian_root(session, f"{venv}/bin/python", str(SOURCE_IN_ROOT / "benchmarks" / "parallel_get.py"),
                   "--seconds", "0.5", "--repeats", "3", scratch=True)


@nox.session(default=False)
def pure(session: nox.Session) -> None:
    """The pure-Python wheel built, then in a minimal Debian 12 root with no compiler: the source and the wheel install, python -m tessellarch runs, the whole suite passes on the Python core."""
    dist = BUILD / "pure"
    shutil.rmtree(dist, ignore_errors=True)
    output = session.run(TOOLS / "wheel-build-pure", venv_python(session), ROOT, dist, silent=True, external=True)
    wheel = str(output).strip().splitlines()[-1]
    session.log(f"pure: {Path(wheel).name}")
    session.run(TOOLS / "pure-root", "cpython", wheel, external=True)


@nox.session(python=False, default=False)
def pypy(session: nox.Session) -> None:
    """Debian 13's PyPy in a minimal root with no compiler: pip installs the source without compiling, python -m tessellarch runs, the whole suite passes."""
    session.run(TOOLS / "pure-root", "pypy", external=True)


@nox.session
def tidy(session: nox.Session) -> None:
    """A Clang build with warnings as errors, then clang-tidy (.clang-tidy) with no findings."""
    need_debian_packages(session, f"clang-{CLANG}", f"clang-tidy-{CLANG}", "libgtest-dev", "libbenchmark-dev")
    need_build_tools(session)
    build = BUILD / "clang"
    cmake_build(session, build, "-DCMAKE_BUILD_TYPE=Debug", "-DORBALIN_BUILD_TESTS=ON",
                f"-DPython_EXECUTABLE={venv_python(session)}", env={"CXX": f"clang++-{CLANG}"})
    sources = [path for path in project_sources() if path.suffix == ".cpp"]
    clang_tidy = shutil.which(f"clang-tidy-{CLANG}") or f"clang-tidy-{CLANG}"
    findings = r"warning:|error:"
    run_reporting(session, [f"run-clang-tidy-{CLANG}", "-clang-tidy-binary", clang_tidy, "-quiet", "-p", build,
                            "-j", "2", *sources], findings, context=3)
    # The fuzz targets and the micro-benchmarks need toolchains of their own to
    # build; their sources are checked with the plain flags.
    extra = [path for path in sources if {"fuzz", "benchmarks"} & set(path.relative_to(ROOT).parts[:-1])]
    run_reporting(session, [clang_tidy, "-quiet", *extra, "--", "-std=c++20", f"-I{ROOT / 'orbalin_core' / 'src'}"],
                  findings, context=3, limit=100)
    session.log(f"clang-tidy: no findings in {len(sources)} files")


@nox.session(name="format", python=False)
def format_(session: nox.Session) -> None:
    """clang-format (.clang-format) would change nothing."""
    need_debian_packages(session, f"clang-format-{CLANG}")
    sources = project_sources()
    session.log(f"clang-format-{CLANG} --dry-run --Werror <{len(sources)} files>")
    session.run(f"clang-format-{CLANG}", "--dry-run", "--Werror", *sources, external=True, log=False)
    session.log(f"clang-format: {len(sources)} files formatted")


@nox.session(default=False)
def fuzz(session: nox.Session) -> None:
    """libFuzzer on the JSON writer for FUZZ_SECONDS (60), then on the registry storage for half as long."""
    need_debian_packages(session, f"clang-{CLANG}", f"libclang-rt-{CLANG}-dev")
    need_build_tools(session)
    seconds = int(os.environ.get("FUZZ_SECONDS", "60"))
    build = BUILD / "fuzz"
    cmake_build(session, build, "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DORBALIN_BUILD_EXTENSION=OFF",
                "-DORBALIN_BUILD_FUZZERS=ON", "-DORBALIN_SANITIZE=address,undefined",
                env={"CXX": f"clang++-{CLANG}"})
    fuzzers = build / "orbalin_core" / "fuzz"
    reported = r"Done|ERROR|SUMMARY|==[0-9]+=="
    session.log(f"fuzz: JSON writer for {seconds}s")
    # Work on a copy: the checked-in seed corpus stays small and reviewed.
    corpus = build / "corpus"
    shutil.rmtree(corpus, ignore_errors=True)
    shutil.copytree(ROOT / "orbalin_core" / "fuzz" / "corpus", corpus)
    run_reporting(session, [fuzzers / "json_writer_fuzzer", f"-max_total_time={seconds}", "-print_final_stats=1",
                            corpus], reported + r"|stat::number_of_executed_units")
    session.log(f"fuzz: registry storage against a model for {seconds // 2}s")
    corpus = build / "registry-corpus"
    shutil.rmtree(corpus, ignore_errors=True)
    corpus.mkdir()
    run_reporting(session, [fuzzers / "registry_fuzzer", f"-max_total_time={seconds // 2}", "-max_len=4096",
                            "-print_final_stats=1", corpus], reported)


def build_wheels(session: nox.Session, group: str) -> None:
    from_root = [version for version in PYTHONS if version in DEBIAN_ROOT_PYTHONS]
    prefixes = pyenv_prefixes(session, [version for version in PYTHONS if version not in from_root])
    session.run(TOOLS / "build-wheels", "--group", group, *map(str, prefixes), *from_root, external=True)


@nox.session(python=False, default=False)
def wheels(session: nox.Session) -> None:
    """Every wheel but aarch64 3.13 to 3.15, each tested with the whole suite in a fresh venv on its kind of system; the pure-Python wheel beside them (tested by pure)."""
    build_wheels(session, "main")


@nox.session(python=False, default=False)
def wheels_aarch64(session: nox.Session) -> None:
    """The aarch64 wheels of CPython 3.13 to 3.15, each tested with the whole suite in a Debian unstable arm64 root."""
    build_wheels(session, "aarch64-unstable")
