# CPython built from Debian's source package of it inside a root
# (tools/build-cpython), once for each set of inputs; sourced, not run, after
# common.sh and roots.sh.
#
# The interpreter is installed under /opt/cpython/<package>-<key> in the
# root, the key a hash of what it is built from: the source package and
# version asked for, the configure options, the build script and its
# environment. The root lies in the cache, so a later run with the same
# inputs finds the interpreter there; any change builds another.

# need_cpython <root dir> <source suite> <package[=Debian version]> [build-cpython options...]:
# sets `cpython` to the interpreter's path in the root, building it first if
# needed. The source suite is the Debian release whose source package is used.
need_cpython() {
    local dir=$1 suite=$2 package=$3
    shift 3
    local key prefix name=${package%%=*}
    key=$(content_key "$package" "$@" "$(sha256sum <"$root/tools/build-cpython")")
    prefix=/opt/cpython/$name-$key
    cpython=$prefix/bin/$name
    # The free-threaded build names its interpreter pythonX.Yt.
    [[ " $* " == *" --disable-gil "* ]] && cpython=${cpython}t
    [ -x "$dir$cpython" ] && return 0
    say "building CPython from Debian $suite's $package ($*) in $dir"
    root_sources "$dir" "$suite"
    install -D -m 755 "$root/tools/build-cpython" "$dir/opt/tools/build-cpython"
    in_root "$dir" /opt/tools/build-cpython "$package" "$prefix" "$@" || return 1
    [ -x "$dir$cpython" ] || { echo "the build made no $cpython" >&2; return 1; }
}
