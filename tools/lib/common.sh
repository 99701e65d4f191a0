# Helpers shared by the commands under tools/ and by .ci/run; sourced, not
# run. Sourcing it sets:
#   root    the checkout
#   cache   where roots and built interpreters are kept between runs, outside
#           the checkout: $ORBALIN_CACHE, else ${XDG_CACHE_HOME:-~/.cache}/tessellarch

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cache=${ORBALIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tessellarch}

say() { printf '\n==> %s\n' "$*"; }

# content_key <text...>: a short hash of the text, for naming cached things
# after what they are made of.
content_key() {
    printf '%s\n' "$@" | sha256sum | cut -c1-12
}

# missing_debian_packages <dpkg admin dir> <packages...>: prints those of the
# packages that are not installed in the package database at that directory
# (/var/lib/dpkg for this system, or a root's), one a line.
missing_debian_packages() {
    local admindir=$1 package
    shift
    for package in "$@"; do
        dpkg-query --admindir="$admindir" -W -f='${Status}' "$package" 2>/dev/null |
            grep -q "install ok installed" || echo "$package"
    done
}

# need_debian_packages <packages...>: installs those that are missing with
# apt-get, through sudo when not root. Where that cannot work (no apt-get,
# neither root nor sudo, or sudo refused), says in one line what to install
# and fails.
need_debian_packages() {
    local missing
    missing=$(missing_debian_packages /var/lib/dpkg "$@" | tr '\n' ' ')
    missing=${missing% }
    [ -n "$missing" ] || return 0
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null; then sudo=(sudo); else sudo=(none); fi
    fi
    if command -v apt-get >/dev/null && [ "${sudo[*]}" != none ]; then
        say "installing Debian packages: $missing"
        # DEBIAN_FRONTEND after sudo, which would drop it from the environment.
        # shellcheck disable=SC2086 # the package names, one word each
        "${sudo[@]}" apt-get update -qq &&
            "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null &&
            return 0
    fi
    echo "missing system packages: $missing (Debian/Ubuntu: apt-get install $missing, as root)" >&2
    return 1
}
