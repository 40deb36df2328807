#!/usr/bin/env bash
# Builds the program with its ROM and skin, prepares the working directory
# run/ and starts the program there. run/ gets the demonstration ROM as
# ROM.E49 and the generated skin as HP49.BMP; a ROM.E49 or HP49.BMP of your
# own in run/ is kept (a copy this script made earlier is refreshed). Only
# the program's packages are installed, and only those that are missing
# (which needs root); the tests' are tools/test.sh's.
set -euo pipefail
cd "$(dirname "$0")/.."

# Before anything else: without a desktop session all the rest is wasted.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "pelrin needs a desktop session (X11): DISPLAY is not set." >&2
    exit 1
fi

tools/install-deps.sh

# The program, its ROM and its skin, not the tests and benchmarks that make
# most of a full build. A tree configured here leaves the tests out, so that
# configuring needs none of their packages; one that tools/test.sh made keeps
# them.
options=()
if [ ! -f build/CMakeCache.txt ]; then
    options+=(-DBUILD_TESTING=OFF)
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release "${options[@]}"
cmake --build build -j "$(nproc)" --target pelrin demo_rom skin

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

cd run
exec ../build/pelrin
