#!/usr/bin/env bash
# Installs what is missing on Debian 12 (the build, test and packaging tools) and builds the program
# (preset "default", the tree the tests run on and cpack packages).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libpcre2-dev zlib1g-dev libssl-dev libxxhash-dev
    libgtest-dev
    fonts-wqy-microhei
    qt6-translations-l10n
    desktop-file-utils appstream
    libclang-rt-14-dev # its FuzzedDataProvider.h lets the tests replay every stored fuzz input
    file dpkg-dev
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ "${#missing[@]}" -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo=(sudo)
    fi
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
