#!/usr/bin/env bash
# Helpers shared by scripts/run, scripts/test and scripts/bench; they source this file.
# Run on its own it only lists the Debian packages the scripts need.
set -euo pipefail

# shellcheck disable=SC2034  # used by the scripts that source this file
# Debian 12 packages, one list per purpose. Adding a dependency is one word on one line.
VORA_BUILD_PACKAGES=(cmake ninja-build g++ pkg-config libcli11-dev libgtest-dev libbenchmark-dev
    zlib1g-dev libpng-dev libjpeg62-turbo-dev libtiff-dev libraw-dev)
VORA_TEST_PACKAGES=(imagemagick python3-pil python3-numpy python3-astropy libtiff-tools exiv2 locales
    clang libclang-rt-14-dev)
VORA_BENCH_PACKAGES=(imagemagick libvips-tools hyperfine libraw-bin dcraw)

# The repository root, whatever the caller's working directory.
VORA_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck disable=SC2034  # used by the scripts that source this file
# Shared read-only material beside the clone (test files, reference images); may be absent.
VORA_SHARED="$(cd "$VORA_ROOT/.." && pwd)/shared"

vora_log() { printf '==> %s\n' "$*" >&2; }
vora_warn() { printf 'warning: %s\n' "$*" >&2; }
vora_die() {
    printf 'error: %s\n' "$*" >&2
    exit 1
}

# True when the Debian package is installed (not merely known to dpkg).
vora_package_installed() {
    dpkg -s "$1" 2>/dev/null | grep -q '^Status: install ok installed'
}

# Prints the packages among "$@" that are not installed, one per line.
vora_missing_packages() {
    local p
    for p in "$@"; do
        vora_package_installed "$p" || printf '%s\n' "$p"
    done
}

_vora_apt_updated=0
_vora_apt_install() {
    export DEBIAN_FRONTEND=noninteractive
    if [[ $_vora_apt_updated -eq 0 ]]; then
        vora_log "apt-get update"
        apt-get update
        _vora_apt_updated=1
    fi
    vora_log "apt-get install -y --no-install-recommends $*"
    apt-get install -y --no-install-recommends "$@"
}

# vora_ensure_packages PKG...: installs what is missing (as root), or prints the command to
# run and exits 1 (as any other user). A machine that has everything does no apt at all.
vora_ensure_packages() {
    local missing
    mapfile -t missing < <(vora_missing_packages "$@")
    [[ ${#missing[@]} -eq 0 ]] && return 0
    if [[ $(id -u) -ne 0 ]]; then
        printf 'error: missing Debian packages: %s\n' "${missing[*]}" >&2
        printf 'Install them with:\n  sudo apt-get update && sudo apt-get install -y --no-install-recommends %s\n' \
            "${missing[*]}" >&2
        exit 1
    fi
    _vora_apt_install "${missing[@]}"
}

# vora_offer_packages PKG...: like vora_ensure_packages for optional tools; never fails.
vora_offer_packages() {
    local missing
    mapfile -t missing < <(vora_missing_packages "$@")
    [[ ${#missing[@]} -eq 0 ]] && return 0
    if [[ $(id -u) -ne 0 ]]; then
        vora_warn "optional packages missing (not root, not installing): ${missing[*]}"
        return 0
    fi
    _vora_apt_install "${missing[@]}" || vora_warn "could not install: ${missing[*]}"
}

# vora_configure BUILD_DIR CMAKE_ARGS...: configures with Ninja from the repository root.
vora_configure() {
    local dir=$1
    shift
    vora_log "configure $dir: $*"
    cmake -S "$VORA_ROOT" -B "$VORA_ROOT/$dir" -G Ninja "$@"
}

# vora_build BUILD_DIR [TARGET...]: builds (everything when no target is given). Ninja picks
# its own parallelism (cores + 2); VORA_JOBS overrides it, e.g. VORA_JOBS=1 on a small box.
vora_build() {
    local dir=$1
    shift
    local args=(--build "$VORA_ROOT/$dir")
    [[ $# -gt 0 ]] && args+=(--target "$@")
    [[ -n ${VORA_JOBS:-} ]] && args+=(-j "$VORA_JOBS")
    vora_log "build $dir${*:+ ($*)}"
    cmake "${args[@]}"
}

if [[ ${BASH_SOURCE[0]} == "$0" ]]; then
    printf 'build: %s\ntest:  %s\nbench: %s\n' "${VORA_BUILD_PACKAGES[*]}" \
        "${VORA_TEST_PACKAGES[*]}" "${VORA_BENCH_PACKAGES[*]}"
fi
