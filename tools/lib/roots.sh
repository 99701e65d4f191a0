# Minimal Debian roots, for any suite and architecture, kept in the cache
# (tools/lib/common.sh) and reused; sourced, not run, after common.sh.
#
# A root is made once with `debootstrap --variant=minbase` and named after
# its suite, its architecture and what it was made from (root_dir); packages
# are added to it with apt-get inside it, as they are asked for. Its last
# making step writes .complete, so a root cut short is made again. Nothing
# stays mounted in a root (a command that needs /proc gets it in a mount
# namespace of its own, see in_root), so removing one never reaches the
# host's /proc or /dev. Commands run there with chroot and a cleared
# environment.

roots_mirror=${ORBALIN_DEBIAN_MIRROR:-http://deb.debian.org/debian}
# The mirror may serve unstable's Release file past its validity date.
root_apt=(apt-get -o Acquire::Check-Valid-Until=false)

# root_dir <suite> <arch>: where that root lies in the cache.
root_dir() {
    echo "$cache/roots/$1-$2-$(content_key "$1" "$2" "$roots_mirror" minbase ca-certificates)"
}

# in_root <root dir> <command...>: the command inside the root, as root, from
# / (or from $in_root_cwd), with nothing of the host's environment but the
# certificate bundle pip needs. With in_root_proc=yes, the root has a /proc
# while the command runs (zig finds its own files through /proc/self/exe):
# mounted in a mount namespace of the command's own, so it goes away with the
# command, however that ends, and the host never sees it.
in_root() {
    local dir=$1 ca_env=() proc=()
    shift
    [ -f "$dir/etc/host-ca-bundle.crt" ] && ca_env=(PIP_CERT=/etc/host-ca-bundle.crt)
    [ "${in_root_proc:-no}" = yes ] && proc=(unshare --mount-proc="$dir/proc")
    "${proc[@]}" chroot "$dir" /usr/bin/env -i -C "${in_root_cwd:-/}" PATH=/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "${ca_env[@]}" "$@"
}

# in_root_scratch <root dir> <command...>: from a fresh directory, removed after.
in_root_scratch() {
    local dir=$1 scratch status=0
    shift
    scratch=$(mktemp -d "$dir/tmp/scratch.XXXXXX")
    in_root_cwd=/tmp/${scratch##*/} in_root "$dir" "$@" || status=$?
    rm -rf "$scratch"
    return $status
}

# need_root <suite> <arch> <packages...>: the root (root_dir) exists and has
# those packages (installed with apt-get inside it: debootstrap's own
# resolver misses alternatives among dependencies). A foreign architecture is
# unpacked on the host and configured inside the root (debootstrap's second
# stage), which needs that architecture's binaries to run here
# (tools/lib/binfmt.sh).
need_root() {
    local suite=$1 arch=$2 dir
    shift 2
    dir=$(root_dir "$suite" "$arch")
    [ "$(id -u)" -eq 0 ] || { echo "a Debian root needs root (debootstrap, chroot)" >&2; return 1; }
    if [ ! -f "$dir/.complete" ]; then
        need_debian_packages debootstrap
        say "making a minimal Debian $suite $arch root in $dir"
        rm -rf --one-file-system "$dir"
        mkdir -p "$(dirname "$dir")" # its logs lie beside it
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
    # The host's certificate bundle, so that pip inside the root trusts what
    # the host trusts (the package index may be reached through a proxy).
    local bundle=${PIP_CERT:-/etc/ssl/certs/ca-certificates.crt}
    if [ -f "$bundle" ]; then cp "$bundle" "$dir/etc/host-ca-bundle.crt"; fi
    local missing
    missing=$(missing_debian_packages "$dir/var/lib/dpkg" "$@" | tr '\n' ' ')
    [ -n "$missing" ] || return 0
    say "Debian $suite $arch root: installing $missing"
    in_root "$dir" "${root_apt[@]}" -qq update
    # shellcheck disable=SC2086 # the package names, one word each
    in_root "$dir" "${root_apt[@]}" install -y -qq --no-install-recommends $missing >"$dir.apt.log" 2>&1 ||
        { tail -n 20 "$dir.apt.log"; return 1; }
}

# root_sources <root dir> <suite>: apt-get source in the root finds the
# source packages of that suite.
root_sources() {
    local list=$1/etc/apt/sources.list.d/sources-$2.list
    [ -f "$list" ] && return 0
    echo "deb-src $roots_mirror $2 main" >"$list"
    in_root "$1" "${root_apt[@]}" -qq update
}

# copy_checkout_into_root <root dir> [<dir in the root>, default /src]: the
# checkout's files (tracked and new, not ignored ones), fresh each time.
copy_checkout_into_root() {
    local target=$1${2:-/src}
    rm -rf "$target"
    mkdir -p "$target"
    git -C "$root" ls-files -z --cached --others --exclude-standard |
        (cd "$root" && tar --null --ignore-failed-read -cf - -T - 2>/dev/null) | tar -xf - -C "$target"
}

# root_venv <root dir> <python in the root> <venv dir in the root>: a venv
# with pip there (tools/make-venv), made once.
root_venv() {
    [ -x "$1$3/bin/pip" ] && return 0
    install -D -m 755 "$root/tools/make-venv" "$1/opt/tools/make-venv"
    in_root "$1" /opt/tools/make-venv "$2" "$3"
}
