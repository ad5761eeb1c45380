#!/usr/bin/env bash
# Builds the Debian packages (library with MOF and registrations, -dev, tools, simulated
# server) for the prefix /usr, into the build directory (default build-pkg); no tests.
#   scripts/package.sh [build-dir] [extra cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-pkg}
shift || true
scripts/deps.sh package
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DVKT_BUILD_TESTS=OFF "$@" >/dev/null
cmake --build "$build" -j2
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >cpack.log 2>&1) || { cat "$build/cpack.log" >&2; exit 1; }
ls -1 "$build"/*.deb
