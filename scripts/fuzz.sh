#!/usr/bin/env bash
# Builds the fuzz programs of fuzz/ with clang (libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer) into build-fuzz, then runs each for SECONDS seconds (default
# 60) on its seed corpus and dictionary. Inputs that find new paths are kept in
# build-fuzz/corpus/<program>/, inputs that break a program in build-fuzz/findings/<program>/.
# Stops at the first program that fails.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

CXX=${FUZZ_CXX:-clang++} cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTOLVANE_WERROR=ON -DTOLVANE_SANITIZE="fuzzer-no-link;address;undefined" \
    -DTOLVANE_BUILD_GUI=OFF -DTOLVANE_BUILD_BENCH=OFF -DTOLVANE_BUILD_FUZZ=ON >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target fuzz_targets

for source in fuzz/*Fuzz.cpp; do
    name=$(basename "$source" .cpp)
    work=build-fuzz/corpus/$name
    findings=build-fuzz/findings/$name
    mkdir -p "$work" "$findings"
    options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
        -artifact_prefix="$findings/")
    if [ -f "fuzz/dict/$name.dict" ]; then
        options+=(-dict="fuzz/dict/$name.dict")
    fi
    echo "== $name for ${seconds}s"
    # New inputs go to the first folder only: the seeds in fuzz/corpus stay as they are.
    "build-fuzz/fuzz/$name" "${options[@]}" "$work" "fuzz/corpus/$name"
done
