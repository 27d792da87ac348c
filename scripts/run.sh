#!/usr/bin/env bash
# Sets up, builds and starts Tolvane. Arguments are passed on to the program:
# with paths it confirms and erases them, without it opens the main window.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >&2
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >&2
cmake --build build --target tolvane >&2
exec build/app/tolvane "$@"
