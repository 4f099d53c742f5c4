#!/usr/bin/env bash
# Installs the Debian packages Folianta needs, only the missing ones: `deps.sh run` what building
# and running the program takes, `deps.sh` (or `deps.sh all`) also what its tests, benchmarks,
# fuzzers, real-peer checks and package need.
set -euo pipefail

run=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-translations-l10n libglib2.0-dev libsqlite3-dev libssl-dev ca-certificates shared-mime-info
    fonts-liberation2
    xvfb xauth imagemagick
)
develop=(
    libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev
    python3 curl tinyproxy openssl
    dpkg-dev file desktop-file-utils appstream librsvg2-bin
)

case "${1:-all}" in
    run) packages=("${run[@]}") ;;
    all) packages=("${run[@]}" "${develop[@]}") ;;
    *) echo "usage: $0 [run|all]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
