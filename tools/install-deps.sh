#!/usr/bin/env bash
# Installs the Debian packages the build and the program need, and with
# --tests (tools/test.sh) those of the tests too; only those that are
# missing. Run as root on a Debian machine when something is missing.
set -euo pipefail

tests=false
if [ "${1:-}" = --tests ]; then
    tests=true
    shift
fi

# The build and the program: Qt 6 with a font for the skin's legends, and
# xkbcommon, through which the program reads the X server's keyboard map.
packages=(cmake ninja-build g++ make binutils pkg-config qt6-base-dev fonts-dejavu-core)
packages+=(libxkbcommon-dev libxkbcommon-x11-dev)
# The tests: GoogleTest; clang with its sanitizer and fuzzer runtimes; Xvfb,
# xdotool and setxkbmap (with the layouts) for the program's window test; the
# real receivers the transfer tests send to, G-Kermit and rx of lrzsz.
if $tests; then
    packages+=(libgtest-dev libgmock-dev clang libclang-rt-14-dev llvm)
    packages+=(xvfb xauth xdotool x11-utils x11-xkb-utils xkb-data gkermit lrzsz)
fi
packages+=("$@")
# The benchmark that counts host instructions per emulated instruction.
packages+=(valgrind)

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
