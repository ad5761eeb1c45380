#!/usr/bin/env bash
# Builds the library and the demo tool, then enumerates every class. Without a BMC (no
# OpenIPMI device node) it runs against the simulated rack server.
#   scripts/demo.sh [extra vkt-cim options]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target varkoltprovider vktfakebmc vkt-cim
sim=()
if [ ! -e /dev/ipmi0 ] && [ ! -e /dev/ipmi/0 ] && [ ! -e /dev/ipmidev/0 ]; then
  echo "No OpenIPMI device here: using the simulated rack server." >&2
  sim=(--simulate)
fi
exec build/bin/vkt-cim "${sim[@]}" "$@" enumerate --all
