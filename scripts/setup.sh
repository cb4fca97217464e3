#!/usr/bin/env bash
# One entry point for a fresh machine: installs the Debian packages the project
# needs when they are missing, configures and builds, then runs the chosen job.
#
#   scripts/setup.sh run    build, then scan the sample folder with the default definitions
#   scripts/setup.sh test   build, then run the whole test suite
#   scripts/setup.sh build  build only
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
build="${VODAZEDAD_BUILD_DIR:-$root/build}"
job="${1:-run}"

install_missing() {
    local wanted=() missing=()
    mapfile -t wanted < <(grep -v '^\s*#' "$here/packages.txt" | grep -v '^\s*$')
    for p in "${wanted[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$p")
        fi
    done
    if ((${#missing[@]})); then
        echo "Installing: ${missing[*]}"
        local sudo=""
        [[ $(id -u) -ne 0 ]] && sudo="sudo"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

configure_and_build() {
    local options=()
    # CI builds treat warnings as errors; elsewhere they stay warnings.
    [[ "${CI:-}" == "true" ]] && options+=(-DVZ_WERROR=ON)
    if [[ ! -f "$build/CMakeCache.txt" ]]; then
        cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}"
    elif ((${#options[@]})); then
        cmake "$build" "${options[@]}"
    fi
    cmake --build "$build" -j"$(nproc)"
}

install_missing
configure_and_build

case "$job" in
    build) ;;
    run)  exec "$here/run-sample-scan.sh" "$build" ;;
    test) cd "$build" && exec ctest --output-on-failure --timeout 900 -j"$(nproc)" ;;
    *) echo "usage: $0 run|test|build" >&2; exit 2 ;;
esac
