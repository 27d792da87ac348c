#!/usr/bin/env bash
# Sets up, builds and starts Tolvane. Arguments are passed on to the program:
# with paths it confirms and erases them, without it opens the main window.
# Relative paths mean what they mean where you are: the build runs in the project folder
# (in a subshell), the program in the folder this script was started from.
set -euo pipefail
root="$(cd "$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")/.." && pwd)"
(
    cd "$root"
    scripts/setup.sh >&2
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >&2
    cmake --build build --target tolvane >&2
)
exec "$root/build/app/tolvane" "$@"
