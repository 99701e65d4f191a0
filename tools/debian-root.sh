#!/usr/bin/env bash
# The Debian unstable root, for the CPython releases this machine's own
# distribution does not ship (tools/lib/roots.sh: made once, kept in the
# cache). Run by the nox sessions:
#
#   tools/debian-root.sh need <packages...>      the root exists and has these packages
#   tools/debian-root.sh copy-checkout <dir>     the checkout's files, fresh, at <dir> in the root
#   tools/debian-root.sh venv <python> <dir>     a venv with pip at <dir> in the root, made once
#   tools/debian-root.sh freethreaded-python     CPython 3.13 built with --disable-gil, once;
#                                                prints the interpreter's path in the root
#   tools/debian-root.sh run [--scratch] <command...>
#                                                a command in the root, environment cleared;
#                                                with --scratch from a fresh empty directory
set -euo pipefail
here=$(dirname "${BASH_SOURCE[0]}")
# shellcheck source=tools/lib/common.sh
. "$here/lib/common.sh"
# shellcheck source=tools/lib/roots.sh
. "$here/lib/roots.sh"
# shellcheck source=tools/lib/cpython.sh
. "$here/lib/cpython.sh"

dir=$(root_dir unstable amd64)
command=${1-}
shift || true
case $command in
    need) need_root unstable amd64 "$@" ;;
    copy-checkout) copy_checkout_into_root "$dir" "$@" ;;
    venv) need_root unstable amd64 python3-pip-whl && root_venv "$dir" "$@" ;;
    freethreaded-python)
        # Debian's CPython 3.13 source, configured with --disable-gil: a few
        # minutes, once.
        need_root unstable amd64 g++ make xz-utils pkg-config libssl-dev zlib1g-dev libffi-dev >&2
        need_cpython "$dir" unstable python3.13=3.13.15-1 --disable-gil >&2
        echo "$cpython"
        ;;
    run)
        if [ "${1-}" = --scratch ]; then
            shift
            in_root_scratch "$dir" "$@"
        else
            in_root "$dir" "$@"
        fi
        ;;
    *) sed -n '5,13p' "${BASH_SOURCE[0]}" >&2; exit 2 ;;
esac
