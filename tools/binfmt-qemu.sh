#!/usr/bin/env bash
# Runs a command with the kernel handing aarch64 programs to qemu-user, then
# puts the machine's binfmt_misc back as it was (tools/lib/binfmt.sh).
#
#   tools/binfmt-qemu.sh <command> [args...]
set -euo pipefail
# shellcheck source=tools/lib/common.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
# shellcheck source=tools/lib/binfmt.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib/binfmt.sh"
with_qemu_aarch64 "$@"
