# A minimal Debian unstable root under build/, for the CPython releases this
# machine's own distribution does not ship. Sourced by tools/check, not run.
#
# Made once with `debootstrap --variant=minbase` and reused; packages are
# added with apt-get inside it. Commands run there with chroot and a cleared
# environment; nothing is mounted into the root, so deleting build/ can never
# reach the host's /proc or /dev.

debian_root=${ORBALIN_DEBIAN_ROOT:-$root/build/debian-unstable}
debian_mirror=${ORBALIN_DEBIAN_MIRROR:-http://deb.debian.org/debian}
# The package index may serve unstable's Release file past its validity date.
debian_apt=(apt-get -o Acquire::Check-Valid-Until=false)

# The host's certificate bundle, so that pip inside the root trusts what the
# host trusts (the package index may be reached through an intercepting proxy).
host_ca_bundle() {
    local bundle=${PIP_CERT:-/etc/ssl/certs/ca-certificates.crt}
    [ -f "$bundle" ] && echo "$bundle"
}

in_debian_root() {
    local ca_env=()
    [ -f "$debian_root/etc/host-ca-bundle.crt" ] && ca_env=(PIP_CERT=/etc/host-ca-bundle.crt)
    chroot "$debian_root" /usr/bin/env -i PATH=/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive "${ca_env[@]}" bash -euo pipefail -c "$1"
}

# need_debian_root <packages...>: the root exists and has these packages.
need_debian_root() {
    [ "$(id -u)" -eq 0 ] || { echo "the Debian unstable root needs root (debootstrap, chroot)"; return 1; }
    need_debian_packages debootstrap
    if [ ! -f "$debian_root/.complete" ]; then
        say "making a minimal Debian unstable root in $debian_root"
        rm -rf "$debian_root"
        mkdir -p "$(dirname "$debian_root")"  # its log lies beside it
        debootstrap --variant=minbase --include=ca-certificates unstable "$debian_root" "$debian_mirror" \
            >"$debian_root.log" 2>&1 || { tail -n 20 "$debian_root.log"; return 1; }
        touch "$debian_root/.complete"
    fi
    cp /etc/resolv.conf "$debian_root/etc/resolv.conf"
    local bundle
    if bundle=$(host_ca_bundle); then cp "$bundle" "$debian_root/etc/host-ca-bundle.crt"; fi
    local missing
    missing=$(in_debian_root "for p in $*; do dpkg-query -W -f='\${Status}' \$p 2>/dev/null | grep -q 'install ok installed' || echo \$p; done")
    [ -z "$missing" ] && return 0
    say "Debian unstable root: installing $(echo "$missing" | tr '\n' ' ')"
    in_debian_root "${debian_apt[*]} update -qq && ${debian_apt[*]} install -y -qq --no-install-recommends $(echo "$missing" | tr '\n' ' ') >/dev/null"
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
    in_debian_root "
        [ -x $2/bin/python ] && exit 0
        $1 -m venv --without-pip $2
        $2/bin/python \$(ls /usr/share/python-wheels/pip-*.whl | head -n 1)/pip install -q pip"
}

# The free-threaded interpreter: Debian's CPython 3.13 source, configured with
# --disable-gil, built once into the root (a few minutes) and reused.
freethreaded_version=3.13.15
freethreaded_debian_version=$freethreaded_version-1
freethreaded_prefix=/opt/python-3.13t
freethreaded_python=$freethreaded_prefix/bin/python3.13t

need_freethreaded_python() {
    need_debian_root g++ make xz-utils pkg-config libssl-dev zlib1g-dev libffi-dev
    [ -x "$debian_root$freethreaded_python" ] && return 0
    say "building CPython $freethreaded_version with --disable-gil in the Debian unstable root"
    echo "deb-src $debian_mirror unstable main" >"$debian_root/etc/apt/sources.list.d/unstable-sources.list"
    in_debian_root "
        ${debian_apt[*]} update -qq
        mkdir -p /opt/src && cd /opt/src
        [ -f python3.13_$freethreaded_version.orig.tar.xz ] ||
            ${debian_apt[*]} source --download-only python3.13=$freethreaded_debian_version >/dev/null 2>&1
        rm -rf Python-$freethreaded_version && tar -xf python3.13_$freethreaded_version.orig.tar.xz
        cd Python-$freethreaded_version
        ./configure -q --disable-gil --without-ensurepip --prefix=$freethreaded_prefix >/opt/src/configure.log 2>&1
        make -s -j2 >/opt/src/make.log 2>&1
        make -s install >/opt/src/install.log 2>&1" || {
        tail -n 30 "$debian_root"/opt/src/*.log
        return 1
    }
}

# install_and_test_in_debian_root <venv in the root> [pytest options...]: the
# checkout (copied to /src) installed into that venv with warnings as
# errors, then the whole suite from a scratch directory.
install_and_test_in_debian_root() {
    local venv=$1
    shift
    in_debian_root "
        $venv/bin/python -m pip install -q --disable-pip-version-check pytest
        $venv/bin/python -m pip install -q --disable-pip-version-check --force-reinstall --no-deps \\
            --config-settings=cmake.define.ORBALIN_WARNINGS_AS_ERRORS=ON /src
        cd \$(mktemp -d)
        $venv/bin/python -m pytest -c /src/pyproject.toml --rootdir /src -p no:cacheprovider $* /src/tests -q"
}
