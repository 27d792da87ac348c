#!/usr/bin/env bash
# Builds the Debian package: a Release build of the programs with Debian's hardening flags in
# build-deb/, then `cpack -G DEB` there. Prints the package's path.
set -euo pipefail
root="$(cd "$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")/.." && pwd)"
cd "$root"
scripts/setup.sh >&2

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B build-deb -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOLVANE_WERROR=ON \
    -DTOLVANE_BUILD_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >&2
cmake --build build-deb -j "$(nproc)" --target tolvane kvc tolvane_packaged_docs >&2
rm -f build-deb/tolvane_*.deb
(cd build-deb && cpack -G DEB >&2)
ls "$root"/build-deb/tolvane_*.deb
