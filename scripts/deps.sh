#!/usr/bin/env bash
# Installs the Debian packages kvor3d needs to build, test and show itself,
# when any of them is missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    libx11-dev libxext-dev libxrandr-dev
    libgtest-dev libbenchmark-dev
    libpng-dev libjpeg-dev libfreetype-dev fonts-dejavu-core libassimp-dev
    xvfb x11-apps x11-utils netpbm util-linux
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}" >/dev/null
