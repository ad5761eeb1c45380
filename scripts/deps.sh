#!/usr/bin/env bash
# Makes sure the Debian packages the build needs are present. As root, missing packages
# are installed; otherwise the missing ones are listed, and the script fails when a
# required one is missing.
#   scripts/deps.sh [build|test|fuzz|ci]
#     build: compiler, CMake, Ninja
#     test:  + GoogleTest/GoogleMock; OpenIPMI's simulator, ipmitool and FreeIPMI for the
#            cross-checks (optional: without them those tests are skipped)
#     fuzz:  CMake, Ninja and clang with its fuzzer and sanitizer runtimes (scripts/fuzz.sh)
#     ci:    + the 32-bit toolchain and the fuzzing tools; everything required
set -euo pipefail

level=${1:-test}
required=(g++ cmake ninja-build binutils)
optional=()
case "$level" in
  build) ;;
  test) required+=(libgtest-dev libgmock-dev googletest); optional+=(openipmi ipmitool freeipmi-tools) ;;
  fuzz) required=(cmake ninja-build clang-14 libclang-rt-14-dev llvm-14) ;;
  ci) required+=(libgtest-dev libgmock-dev googletest g++-multilib openipmi ipmitool freeipmi-tools
                 clang-14 libclang-rt-14-dev llvm-14) ;;
  *) echo "usage: $0 [build|test|fuzz|ci]" >&2; exit 2 ;;
esac

missing() {
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}
mapfile -t need < <(missing "${required[@]}")
mapfile -t want < <(missing "${optional[@]+"${optional[@]}"}")
[ ${#need[@]} -eq 0 ] && [ ${#want[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  all=("${need[@]+"${need[@]}"}" "${want[@]+"${want[@]}"}")
  echo "Installing: ${all[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${all[@]}"
  exit 0
fi
if [ ${#want[@]} -gt 0 ]; then
  echo "Not installed: ${want[*]} (the tests against OpenIPMI's simulator will be skipped)" >&2
fi
if [ ${#need[@]} -gt 0 ]; then
  echo "Missing Debian packages: ${need[*]}" >&2
  echo "Install them with: sudo apt-get install -y ${need[*]}" >&2
  exit 1
fi
