#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that
# are missing. Run as root on a Debian machine.
set -euo pipefail

packages=(cmake ninja-build g++ make binutils libgtest-dev libgmock-dev pkg-config)
# The program: Qt 6 with a font for the skin's legends; its window test runs
# under Xvfb, driven by xdotool.
packages+=(qt6-base-dev fonts-dejavu-core xvfb xauth xdotool x11-utils)
# The real receivers the transfer tests send to: G-Kermit, and rx of lrzsz.
packages+=(gkermit lrzsz)
packages+=("$@")

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y --no-install-recommends "${missing[@]}"
fi
