#!/usr/bin/env bash
# A minimal Debian unstable root under build/, for the CPython releases this
# machine's own distribution does not ship. Run by the nox sessions:
#
#   tools/debian-root.sh need <packages...>      the root exists and has these packages
#   tools/debian-root.sh copy-checkout <dir>     the checkout's files, fresh, at <dir> in the root
#   tools/debian-root.sh venv <python> <dir>     a venv with pip at <dir> in the root, made once
#   tools/debian-root.sh freethreaded-python     CPython built with --disable-gil, once;
#                                                prints the interpreter's path in the root
#   tools/debian-root.sh run [--scratch] <command...>
#                                                a command in the root, environment cleared;
#                                                with --scratch from a fresh empty directory
#
# Sourced (by tools/build-wheels), it defines the same operations as functions.
#
# Made once with `debootstrap --variant=minbase` and reused; packages are
# added with apt-get inside it. Commands run there with chroot and a cleared
# environment. Nothing is mounted into the root but /proc, and that only while
# tools/build-wheels compiles there with zig; removing the root never crosses
# into another file system. Scripts that run inside it are files under
# tools/in-debian-root, copied in.

# shellcheck source=tools/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

debian_root=${ORBALIN_DEBIAN_ROOT:-$root/build/debian-unstable}
debian_mirror=${ORBALIN_DEBIAN_MIRROR:-http://deb.debian.org/debian}
# The package index may serve unstable's Release file past its validity date.
debian_apt=(apt-get -o Acquire::Check-Valid-Until=false)

# The free-threaded interpreter: Debian's CPython 3.13 source, configured with
# --disable-gil, built once into the root (a few minutes) and reused.
freethreaded_version=3.13.15
freethreaded_debian_version=$freethreaded_version-1
freethreaded_prefix=/opt/python-3.13t
freethreaded_python=$freethreaded_prefix/bin/python3.13t

# The host's certificate bundle, so that pip inside the root trusts what the
# host trusts (the package index may be reached through an intercepting proxy).
host_ca_bundle() {
    local bundle=${PIP_CERT:-/etc/ssl/certs/ca-certificates.crt}
    [ -f "$bundle" ] && echo "$bundle"
}

# in_debian_root <command...>: in_root (tools/lib.sh) for this root.
in_debian_root() {
    in_root "$debian_root" "$@"
}

# in_debian_root_scratch <command...>: from a fresh directory, removed after.
in_debian_root_scratch() {
    local scratch status=0
    scratch=$(mktemp -d "$debian_root/tmp/scratch.XXXXXX")
    in_root_cwd=/tmp/${scratch##*/} in_debian_root "$@" || status=$?
    rm -rf "$scratch"
    return $status
}

# need_debian_root <packages...>: the root exists and has these packages.
need_debian_root() {
    [ "$(id -u)" -eq 0 ] || { echo "the Debian unstable root needs root (debootstrap, chroot)" >&2; return 1; }
    need_debian_packages debootstrap
    if [ ! -f "$debian_root/.complete" ]; then
        say "making a minimal Debian unstable root in $debian_root"
        rm -rf --one-file-system "$debian_root"  # never into a /proc left mounted there
        mkdir -p "$(dirname "$debian_root")"  # its log lies beside it
        debootstrap --variant=minbase --include=ca-certificates unstable "$debian_root" "$debian_mirror" \
            >"$debian_root.log" 2>&1 || { tail -n 20 "$debian_root.log"; return 1; }
        touch "$debian_root/.complete"
    fi
    cp /etc/resolv.conf "$debian_root/etc/resolv.conf"
    local bundle
    if bundle=$(host_ca_bundle); then cp "$bundle" "$debian_root/etc/host-ca-bundle.crt"; fi
    # The root's package database, read from the host.
    local missing=() pkg
    for pkg in "$@"; do
        dpkg-query --admindir="$debian_root/var/lib/dpkg" -W -f='${Status}' "$pkg" 2>/dev/null |
            grep -q "install ok installed" || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    say "Debian unstable root: installing ${missing[*]}"
    in_debian_root "${debian_apt[@]}" update -qq
    in_debian_root "${debian_apt[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# copy_checkout_into_debian_root <dir in the root>: the checkout's files
# (tracked and new, not ignored ones), fresh each time.
copy_checkout_into_debian_root() {
    local target=$debian_root$1
    rm -rf "$target"
    mkdir -p "$target"
    git -C "$root" ls-files -z --cached --others --exclude-standard |
        (cd "$root" && tar --null --ignore-failed-read -cf - -T - 2>/dev/null) | tar -xf - -C "$target"
}

# make_debian_root_venv <python in the root> <venv dir in the root>: a venv
# with pip, made once. pip comes from Debian's own wheel of it, so an
# interpreter built without ensurepip works too.
make_debian_root_venv() {
    need_debian_root python3-pip-whl
    [ -f "$debian_root$2/bin/pip" ] && return 0
    local wheel
    wheel=$(cd "$debian_root" && ls usr/share/python-wheels/pip-*.whl | head -n 1)
    in_debian_root "$1" -m venv --without-pip "$2"
    in_debian_root "$2/bin/python" "/$wheel/pip" install -q pip
}

need_freethreaded_python() {
    need_debian_root g++ make xz-utils pkg-config libssl-dev zlib1g-dev libffi-dev
    [ -x "$debian_root$freethreaded_python" ] && return 0
    say "building CPython $freethreaded_version with --disable-gil in the Debian unstable root"
    echo "deb-src $debian_mirror unstable main" >"$debian_root/etc/apt/sources.list.d/unstable-sources.list"
    mkdir -p "$debian_root/opt/src"
    cp "$root/tools/in-debian-root/build-freethreaded-python.sh" "$debian_root/opt/src/"
    in_debian_root bash /opt/src/build-freethreaded-python.sh \
        "$freethreaded_version" "$freethreaded_debian_version" "$freethreaded_prefix" || {
        tail -n 30 "$debian_root"/opt/src/*.log
        return 1
    }
}

debian_root_main() {
    local command=${1-}
    shift || true
    case $command in
        need) need_debian_root "$@" ;;
        copy-checkout) copy_checkout_into_debian_root "$@" ;;
        venv) make_debian_root_venv "$@" ;;
        freethreaded-python) need_freethreaded_python >&2 && echo "$freethreaded_python" ;;
        run)
            if [ "${1-}" = --scratch ]; then
                shift
                in_debian_root_scratch "$@"
            else
                in_debian_root "$@"
            fi
            ;;
        *) sed -n '5,12p' "${BASH_SOURCE[0]}" >&2; return 2 ;;
    esac
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -euo pipefail
    debian_root_main "$@"
fi
