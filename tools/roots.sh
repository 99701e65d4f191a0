# Minimal Debian roots under build/ in which wheels are tested on the system
# of their kind: an older glibc, another architecture. Sourced, not run.
#
# A root is made once with `debootstrap --variant=minbase` and reused; its
# last step writes .complete, so a root cut short is made again. Nothing is
# mounted into a root, so deleting build/ can never reach the host's /proc or
# /dev. Commands run there with chroot and a cleared environment, and are
# script files of tools/ (copied in with copy_tools_into_root), never quoted
# scripts.

roots_mirror=${ORBALIN_DEBIAN_MIRROR:-http://deb.debian.org/debian}

# make_root <root> <suite> <arch> <packages...>: the root exists and has
# those packages (installed with apt-get inside it: debootstrap's own resolver
# misses alternatives among dependencies). A foreign architecture is unpacked
# on the host and configured inside the root (debootstrap's second stage),
# which needs that architecture's binaries to run here: tools/binfmt-qemu.sh.
make_root() {
    local dir=$1 suite=$2 arch=$3
    shift 3
    [ "$(id -u)" -eq 0 ] || { echo "a Debian root needs root (debootstrap, chroot)" >&2; return 1; }
    if [ ! -f "$dir/.complete" ]; then
        need_debian_packages debootstrap
        say "making a minimal Debian $suite $arch root in $dir"
        rm -rf --one-file-system "$dir"
        mkdir -p "$(dirname "$dir")" # its log lies beside it
        local foreign=()
        [ "$arch" = "$(dpkg --print-architecture)" ] || foreign=(--foreign)
        debootstrap --variant=minbase --arch="$arch" "${foreign[@]}" --include=ca-certificates \
            "$suite" "$dir" "$roots_mirror" >"$dir.log" 2>&1 || { tail -n 20 "$dir.log"; return 1; }
        if [ ${#foreign[@]} -ne 0 ]; then
            in_root "$dir" /debootstrap/debootstrap --second-stage >>"$dir.log" 2>&1 ||
                { tail -n 20 "$dir.log"; return 1; }
        fi
        touch "$dir/.complete"
    fi
    cp /etc/resolv.conf "$dir/etc/resolv.conf"
    local bundle=${PIP_CERT:-/etc/ssl/certs/ca-certificates.crt}
    if [ -f "$bundle" ]; then cp "$bundle" "$dir/etc/host-ca-bundle.crt"; fi
    local package missing=()
    for package in "$@"; do
        in_root "$dir" dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    say "Debian $suite $arch root: installing ${missing[*]}"
    in_root "$dir" apt-get -qq update
    in_root "$dir" apt-get install -y -qq --no-install-recommends "${missing[@]}" >"$dir.apt.log" 2>&1 ||
        { tail -n 20 "$dir.apt.log"; return 1; }
}

# copy_tools_into_root <root>: the checkout's tools and what the suite reads
# (tests/, pyproject.toml, README.md) at /src, fresh each time.
copy_tools_into_root() {
    rm -rf "$1/src"
    mkdir -p "$1/src"
    cp -r "$root/tools" "$root/tests" "$root/pyproject.toml" "$root/README.md" "$1/src/"
}
