#!/usr/bin/env bash
# Runs inside the Debian unstable root (tools/debian-root.sh copies it to
# /opt/src): builds CPython <version> from Debian's source package of it,
# configured with --disable-gil, and installs it under <prefix>. The logs
# of each step stay in /opt/src.
#
#   build-freethreaded-python.sh <version> <Debian package version> <prefix>
set -euo pipefail
version=$1 debian_version=$2 prefix=$3
source_package=python${version%.*}

apt-get -o Acquire::Check-Valid-Until=false update -qq
cd /opt/src
[ -f "${source_package}_$version.orig.tar.xz" ] ||
    apt-get -o Acquire::Check-Valid-Until=false source --download-only "$source_package=$debian_version" >download.log 2>&1
rm -rf "Python-$version" && tar -xf "${source_package}_$version.orig.tar.xz"
cd "Python-$version"
./configure -q --disable-gil --without-ensurepip --prefix="$prefix" >/opt/src/configure.log 2>&1
make -s -j2 >/opt/src/make.log 2>&1
make -s install >/opt/src/install.log 2>&1
