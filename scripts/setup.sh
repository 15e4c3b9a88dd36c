#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools need (only
# those missing; through sudo when not root), then configures and builds the
# project into build/ (DXC_BUILD_DIR picks another folder). Extra arguments
# are build targets: scripts/setup.sh dxc-dbf
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

PACKAGES=(
    # build
    g++ cmake ninja-build ccache pkgconf
    qt6-base-dev qt6-svg-dev libpq-dev libgtest-dev libbenchmark-dev libicu-dev libuchardet-dev
    # fuzzing (libFuzzer)
    clang libclang-rt-14-dev
    # the private server, fixtures and end-to-end checks
    postgresql python3-dbf python3-dbfread pgdbf
    fonts-dejavu-core xvfb xauth xdotool imagemagick xclip
)

install_missing() {
    local missing=() p
    for p in "${PACKAGES[@]}"; do
        [[ $(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null) == installed ]] ||
            missing+=("$p")
    done
    ((${#missing[@]} == 0)) && return
    dxc_note "installing: ${missing[*]}"
    # sudo drops the environment, so the frontend goes through env.
    dxc_as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q
    dxc_as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
}

configure() {
    if [[ -f $DXC_BUILD/build.ninja ]]; then
        return  # ninja reruns cmake itself when a CMakeLists.txt changes
    fi
    if [[ -f $DXC_BUILD/CMakeCache.txt ]] &&
        ! grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$' "$DXC_BUILD/CMakeCache.txt"; then
        dxc_die "$DXC_BUILD was configured with another generator: remove it or set DXC_BUILD_DIR"
    fi
    dxc_note "configuring $DXC_BUILD"
    cmake -S "$DXC_ROOT" -B "$DXC_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
}

build() {
    # Precompiled headers need the sloppiness; BASEDIR and NOHASHDIR let
    # clones in other folders share the cache.
    export CCACHE_SLOPPINESS=pch_defines,time_macros
    export CCACHE_BASEDIR=$DXC_ROOT
    export CCACHE_NOHASHDIR=1
    dxc_note "building in $DXC_BUILD"
    cmake --build "$DXC_BUILD" --parallel "${DXC_JOBS:-$(nproc)}" ${1+--target "$@"}
}

install_missing
configure
build "$@"
