#!/usr/bin/env bash
# Sets up, builds with warnings as errors and runs every test: the normal build, the Release
# build of the package, then the
# AddressSanitizer + UndefinedBehaviorSanitizer build, then the ThreadSanitizer build of
# the threaded engine tests, then a short run of every fuzz program on its seeds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=$(nproc)

echo "== release build and tests"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLVANE_WERROR=ON
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== Release build of the programs (-O3, where GCC warns most) into the Debian package"
scripts/package.sh

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTOLVANE_WERROR=ON \
    -DTOLVANE_SANITIZE="address;undefined" -DTOLVANE_BUILD_BENCH=OFF
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== ThreadSanitizer build of the threaded tests"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTOLVANE_WERROR=ON \
    -DTOLVANE_SANITIZE=thread -DTOLVANE_BUILD_GUI=OFF -DTOLVANE_BUILD_BENCH=OFF
cmake --build build-tsan -j "$jobs"
ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L threads

echo "== fuzz programs, a few seconds each on their seeds"
scripts/fuzz.sh 3
