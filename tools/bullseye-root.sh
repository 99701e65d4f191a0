# A Debian 11 root under build/ (glibc 2.31, the oldest Debian the archive
# still serves), in which a manylinux wheel is tested on an older system than
# the one that built it. Sourced by tools/build-wheels, not run; needs
# tools/roots.sh.
#
# Debian 11's own CPython is 3.9, below what the package supports, so one
# CPython is built there once from Debian 12's source package of it
# (tools/build-cpython, a few minutes) and kept in the root; its venvs get
# pip from Debian 11's wheel of it (python-pip-whl), which then updates itself.

bullseye_root=${ORBALIN_BULLSEYE_ROOT:-$root/build/bullseye}
bullseye_python_minor=3.11
bullseye_python_prefix=/opt/python-$bullseye_python_minor
bullseye_python=$bullseye_python_prefix/bin/python$bullseye_python_minor

need_bullseye_python() {
    make_root "$bullseye_root" bullseye amd64 gcc make xz-utils pkg-config libssl-dev zlib1g-dev libffi-dev \
        libbz2-dev liblzma-dev libsqlite3-dev python-pip-whl
    [ -x "$bullseye_root$bullseye_python" ] && return 0
    say "building CPython $bullseye_python_minor in the Debian 11 root"
    echo "deb-src $roots_mirror bookworm main" >"$bullseye_root/etc/apt/sources.list.d/bookworm-sources.list"
    copy_tools_into_root "$bullseye_root"
    in_root "$bullseye_root" /src/tools/build-cpython "python$bullseye_python_minor" "$bullseye_python_prefix"
}
