#!/usr/bin/env bash
# Installs what is missing, builds every tree and runs every test:
#   build           the release build with its unit, API and platform tests
#   build-sanitize  the same tests under AddressSanitizer and UndefinedBehaviorSanitizer,
#                   built with clang so that both compilers build and pass the suite
#   build-tsan      the same tests under ThreadSanitizer
#   build-fuzz      the libFuzzer targets (clang), each run briefly
# Every tree is built and tested even when one before it fails, so that one
# failure hides no other; a summary of what failed where comes last, and the
# exit status is 1 if anything failed. PELRIN_TEST_JOBS sets the parallel
# builds and tests (default: the processors).
set -uo pipefail
cd "$(dirname "$0")/.."

failures=()

tools/install-deps.sh --tests || failures+=("tools/install-deps.sh failed")

jobs=${PELRIN_TEST_JOBS:-$(nproc)}

# Warnings are errors in every tree built here. A tree that does not
# configure or build is not tested; one whose tests fail names them.
run_tree() {
    local dir=$1
    shift
    if ! cmake -S . -B "$dir" -G Ninja -DPELRIN_WERROR=ON -DBUILD_TESTING=ON "$@"; then
        failures+=("$dir: configuring failed")
        return
    fi
    if ! cmake --build "$dir" -j "$jobs"; then
        failures+=("$dir: building failed")
        return
    fi
    local failed=$dir/Testing/Temporary/LastTestsFailed.log
    rm -f "$failed"
    if ! ctest --test-dir "$dir" -j "$jobs" --output-on-failure; then
        if [ -s "$failed" ]; then
            failures+=("$dir: $(cut -d: -f2- "$failed" | paste -sd ' ')")
        else
            failures+=("$dir: ctest failed")
        fi
    fi
}

# The clang trees. One configured earlier with g++ starts afresh: told of
# another compiler, CMake would reset the cache itself and drop the options
# given with it.
clang=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)
for dir in build-sanitize build-fuzz; do
    if [ -f "$dir/CMakeCache.txt" ] && ! grep -q '^CMAKE_CXX_COMPILER:.*clang++$' "$dir/CMakeCache.txt"; then
        rm -f "$dir/CMakeCache.txt"
    fi
done

# The program (Qt) is built in every tree but the fuzzers': its tests run
# under the sanitizers too.
run_tree build -DCMAKE_BUILD_TYPE=Release -DPELRIN_UI=ON
# clang 14's AddressSanitizer follows dynamic TLS by intercepting
# __tls_get_addr, and with this glibc that walk faults in a process that
# loads libraries by name: the leak check at exit then dies in its tracer.
ASAN_OPTIONS=detect_leaks=1:intercept_tls_get_addr=0 UBSAN_OPTIONS=print_stacktrace=1 \
    run_tree build-sanitize "${clang[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELRIN_SANITIZE=ON \
    -DPELRIN_UI=ON
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    run_tree build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELRIN_TSAN=ON -DPELRIN_UI=ON
run_tree build-fuzz "${clang[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELRIN_FUZZ=ON -DPELRIN_UI=OFF \
    -DFUZZ_SMOKE_SECONDS=30

echo
if [ ${#failures[@]} -gt 0 ]; then
    echo "tools/test.sh: FAILED"
    printf '  %s\n' "${failures[@]}"
    exit 1
fi
echo "tools/test.sh: every tree built and every test passed"
