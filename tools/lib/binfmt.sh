# The kernel hands aarch64 programs to qemu-user while a command runs, then
# the machine's binfmt_misc is put back as it was, whatever the command did;
# sourced, not run, after common.sh (tools/binfmt-qemu.sh runs it as a command).
#
#   with_qemu_aarch64 <command or function> [args...]
#
# binfmt_misc is mounted if it was not (and unmounted after); a handler named
# qemu-aarch64 that is already there and enabled is used and left alone, one
# that is disabled is enabled for the command and disabled again, and one we
# register is removed. The handler opens qemu at registration (flag F), so the
# roots need no copy of it.

binfmt_dir=/proc/sys/fs/binfmt_misc
binfmt_name=qemu-aarch64
# ELF, 64-bit, little-endian, executable or shared object, machine 183 (aarch64).
binfmt_magic='\x7f\x45\x4c\x46\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\xb7\x00'
binfmt_mask='\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

# What this run changed, undone by restore_binfmt in reverse order.
binfmt_mounted=no
binfmt_handler=kept

restore_binfmt() {
    case $binfmt_handler in
    registered) echo -1 >"$binfmt_dir/$binfmt_name" ;;
    enabled) echo 0 >"$binfmt_dir/$binfmt_name" ;;
    esac
    binfmt_handler=kept
    if [ "$binfmt_mounted" = yes ]; then
        umount "$binfmt_dir"
        binfmt_mounted=no
    fi
}

enable_qemu_aarch64() {
    local qemu
    qemu=$(command -v qemu-aarch64-static) || {
        need_debian_packages qemu-user-static
        qemu=$(command -v qemu-aarch64-static)
    }
    if [ ! -f "$binfmt_dir/register" ]; then
        mount -t binfmt_misc binfmt_misc "$binfmt_dir" || { echo "cannot mount binfmt_misc" >&2; return 1; }
        binfmt_mounted=yes
    fi
    if [ -f "$binfmt_dir/$binfmt_name" ]; then
        if [ "$(head -n 1 "$binfmt_dir/$binfmt_name")" = disabled ]; then
            echo 1 >"$binfmt_dir/$binfmt_name"
            binfmt_handler=enabled
        fi
    else
        printf ':%s:M::%s:%s:%s:F' "$binfmt_name" "$binfmt_magic" "$binfmt_mask" "$qemu" >"$binfmt_dir/register"
        binfmt_handler=registered
    fi
}

# with_qemu_aarch64 <command> [args...]: in the calling shell, which must run
# with `set -e`, so that a function's results stay visible to it; an exit
# meanwhile, by a failure or a signal, runs the restoring trap (which takes the
# place of the caller's EXIT trap while the command runs). binfmt_misc is the
# whole machine's: two runs at once would take the handler away from each
# other, so the second waits for the first (a lock held while the command runs).
with_qemu_aarch64() {
    local lock
    exec {lock}>/run/lock/tessellarch-binfmt-qemu
    flock "$lock"
    trap restore_binfmt EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    enable_qemu_aarch64
    "$@"
    restore_binfmt
    trap - EXIT INT TERM
    exec {lock}>&-
}
