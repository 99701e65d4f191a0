# Shared helpers of the scripts under tools/; sourced, not run.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

say() { printf '\n==> %s\n' "$*"; }

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

# in_root <root> <command...>: the command inside one of the Debian roots the
# tools make, as root, from / (or from $in_root_cwd), with nothing of the
# host's environment but the certificate bundle pip needs.
in_root() {
    local dir=$1 ca_env=()
    shift
    [ -f "$dir/etc/host-ca-bundle.crt" ] && ca_env=(PIP_CERT=/etc/host-ca-bundle.crt)
    chroot "$dir" /usr/bin/env -i -C "${in_root_cwd:-/}" PATH=/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "${ca_env[@]}" "$@"
}
