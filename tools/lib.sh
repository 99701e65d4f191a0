# Shared helpers of tools/run-tests and tools/check; sourced, not run.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
python=${PYTHON:-$(command -v python || command -v python3)}
# The interpreter binary itself, not a launcher script (pyenv shims are bash
# scripts, and a preloaded sanitizer runtime must land in Python, not bash).
python_binary=$("$python" -c 'import sys; print(sys.executable)')

say() { printf '\n==> %s\n' "$*"; }

# The one Clang release the checks use (Debian 12's), named in full so that a
# second installed release can never be picked up by accident.
clang_version=14
clang_cxx=clang++-$clang_version
clang_tidy=clang-tidy-$clang_version
run_clang_tidy=run-clang-tidy-$clang_version
clang_format=clang-format-$clang_version

# Installs the Debian packages that are missing, with apt-get.
need_debian_packages() {
    local missing=()
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    say "installing Debian packages: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}

# Every CPython release the package supports is tested; one missing fails.
# Those this machine's distribution lacks come from Debian unstable
# (tools/debian-root.sh).
pyenv_pythons=(3.10 3.11 3.12 3.13)
debian_pythons=(3.14 3.15)

# The newest pyenv installation of each of pyenv_pythons, one prefix per
# line; fails naming the versions it cannot find.
pyenv_prefixes() {
    local pyenv_root prefixes=() missing=()
    pyenv_root=$(pyenv root 2>/dev/null || echo "$HOME/.pyenv")
    for minor in "${pyenv_pythons[@]}"; do
        local found="" candidate patch
        for candidate in "$pyenv_root/versions/$minor".*; do
            patch=${candidate##*/"$minor".}
            [[ $patch =~ ^[0-9]+$ ]] || continue
            [ -z "$found" ] || [ "$patch" -gt "${found##*.}" ] && found=$candidate
        done
        if [ -n "$found" ]; then prefixes+=("$found"); else missing+=("$minor"); fi
    done
    if [ ${#missing[@]} -ne 0 ]; then
        echo "CPython ${missing[*]} missing under $pyenv_root/versions (pyenv install ${missing[*]})" >&2
        return 1
    fi
    printf '%s\n' "${prefixes[@]}"
}

# GoogleTest for the native tests: used when CMake can find it already (a
# system package, GTEST_ROOT, CMAKE_PREFIX_PATH); else installed with apt-get
# where there is one; else one line says what to install.
have_gtest() {
    local probe
    probe=$(mktemp -d)
    printf 'cmake_minimum_required(VERSION 3.21)\nproject(probe CXX)\nfind_package(GTest REQUIRED)\n' >"$probe/CMakeLists.txt"
    cmake -S "$probe" -B "$probe/build" >/dev/null 2>&1
    local status=$?
    rm -rf "$probe"
    return $status
}

need_gtest() {
    have_gtest && return 0
    if command -v apt-get >/dev/null && command -v dpkg-query >/dev/null; then
        need_debian_packages libgtest-dev
        return 0
    fi
    echo "GoogleTest not found: install it (Debian/Ubuntu libgtest-dev, Fedora gtest-devel, Homebrew googletest) or set GTEST_ROOT" >&2
    exit 1
}

need_python_tools() {
    "$python" -m pip install -q --disable-pip-version-check "$@"
}

need_build_tools() {
    command -v cmake >/dev/null || need_python_tools cmake
    command -v ninja >/dev/null || need_python_tools ninja
}

# install_package <python>: the package from the checkout into that
# interpreter's environment, compiled with warnings as errors.
install_package() {
    "$1" -m pip install -q --disable-pip-version-check --force-reinstall --no-deps \
        --config-settings=cmake.define.ORBALIN_WARNINGS_AS_ERRORS=ON "$root"
}

# configure_and_build <build dir> <cmake options...>: warnings are errors.
configure_and_build() {
    local dir=$1
    shift
    cmake -S "$root" -B "$dir" -G Ninja -DORBALIN_WARNINGS_AS_ERRORS=ON "$@" >/dev/null
    cmake --build "$dir"
}

# stage_package <dir> <extension>: the Python package with a given build of
# the extension, importable with PYTHONPATH=<dir>.
stage_package() {
    local dir=$1 extension=$2
    rm -rf "$dir"
    mkdir -p "$dir/tessellarch"
    cp "$root"/python/tessellarch/* "$dir/tessellarch/"
    cp "$extension" "$dir/tessellarch/"
}

# run_pytest <python> [pytest args...]: from a scratch directory, so the
# checkout is never what gets imported. Settings in the array `pytest_env`
# (NAME=value) apply to the Python process alone, not to the tools around it.
pytest_env=()
run_pytest() {
    local interpreter=$1
    shift
    local scratch
    scratch=$(mktemp -d)
    (cd "$scratch" && env ${pytest_env[@]+"${pytest_env[@]}"} "$interpreter" -m pytest -c "$root/pyproject.toml" \
        --rootdir "$root" -p no:cacheprovider "$root/tests" "$@")
    local status=$?
    rm -rf "$scratch"
    return $status
}
