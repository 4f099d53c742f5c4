#!/usr/bin/env bash
# Installs the Debian packages Folianta needs to build, test, package and run; only the missing ones.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev
    qt6-base-dev libglib2.0-dev shared-mime-info
    clang libclang-rt-14-dev
    python3 curl tinyproxy
    xvfb xauth imagemagick fonts-liberation2
    dpkg-dev file desktop-file-utils appstream librsvg2-bin
)

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
