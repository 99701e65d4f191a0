# A Debian 12 arm64 root under build/, in which aarch64 wheels are tested
# under qemu-user emulation. Sourced by tools/build-wheels, not run; needs
# tools/roots.sh, and tools/binfmt-qemu.sh's handler enabled around it.
#
# Debian 12's one CPython (3.11) is what the root can run: wheels for it are
# tested here, and its headers and extension suffix are what the aarch64
# wheel is compiled against on the host.

arm64_root=${ORBALIN_ARM64_ROOT:-$root/build/bookworm-arm64}
arm64_pythons=(3.11)

need_arm64_root() {
    local packages=(python3-pip-whl)
    for minor in "${arm64_pythons[@]}"; do packages+=("python$minor-dev" "python$minor-venv"); done
    make_root "$arm64_root" bookworm arm64 "${packages[@]}"
}

# arm64_ext_suffix <minor>: the extension suffix of the root's interpreter,
# asked of that interpreter itself.
arm64_ext_suffix() {
    in_root "$arm64_root" "python$1" -c 'import sysconfig; print(sysconfig.get_config_var("EXT_SUFFIX"))'
}
