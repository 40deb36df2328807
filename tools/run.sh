#!/usr/bin/env bash
# Installs what is missing, builds everything, prepares the working directory
# run/ and starts the program there. run/ gets the demonstration ROM as
# ROM.E49 and the generated skin as HP49.BMP; a ROM.E49 or HP49.BMP of your
# own in run/ is kept (a copy this script made earlier is refreshed).
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build -j "$(nproc)"

mkdir -p run

# Copies the built file into run/ unless run/ holds a file of that name that
# did not come from here; a hidden twin marks the copies this script made.
provide() {
    local built=$1 name=$2
    local twin="run/.$name.built"
    if [ ! -e "run/$name" ] || { [ -e "$twin" ] && cmp -s "run/$name" "$twin"; }; then
        cp "$built" "run/$name"
        cp "$built" "$twin"
    fi
}

if [ -f build/rom/ROM.E49 ]; then
    provide build/rom/ROM.E49 ROM.E49
elif [ ! -e run/ROM.E49 ]; then
    echo "No ROM: the build made no build/rom/ROM.E49 and run/ holds none." >&2
fi
provide build/HP49.BMP HP49.BMP

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "pelrin needs a desktop session (X11): DISPLAY is not set." >&2
    exit 1
fi
cd run
exec ../build/pelrin
