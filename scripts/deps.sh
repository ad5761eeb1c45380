#!/usr/bin/env bash
# Makes sure the Debian packages the build needs are present. As root, missing packages
# are installed: one line per package, apt's and dpkg's own output kept in a log file that
# is shown only when the installation fails. Otherwise the missing ones are listed, and the
# script fails when a required one is missing.
#   scripts/deps.sh [build|test|package|fuzz|qemu|cimom|ci]
#     build:   compiler, CMake, Ninja
#     test:    + GoogleTest/GoogleMock, pkg-config (the install check builds a program
#              through it); OpenIPMI's simulator, ipmitool and FreeIPMI for the
#              cross-checks (optional: without them those tests are skipped)
#     package: + dpkg-buildpackage and debhelper (scripts/package.sh), lintian (its check)
#     fuzz:    CMake, Ninja and clang with its fuzzer and sanitizer runtimes (scripts/fuzz.sh)
#     qemu:    QEMU, busybox and ipmitool for the guest of .ci/stage-qemu.sh
#     cimom:   what building sfcb and OpenPegasus from source and checking them takes
#              (.ci/stage-cimom.sh)
#     ci:      + the 32-bit toolchain, the fuzzing tools, valgrind (bench/baseline.sh),
#              debootstrap (the bare-machine stage), and the qemu and cimom levels;
#              everything required
set -euo pipefail

level=${1:-test}
required=(g++ cmake ninja-build binutils)
cimom=(git ca-certificates make gcc libc6-dev autoconf automake libtool flex libfl-dev bison unzip pkg-config
       libcurl4-openssl-dev zlib1g-dev libpam0g-dev sblim-wbemcli python3 iproute2 util-linux procps)
optional=()
case "$level" in
  build) ;;
  test) required+=(libgtest-dev libgmock-dev googletest pkg-config); optional+=(openipmi ipmitool freeipmi-tools) ;;
  package) required+=(dpkg-dev debhelper lintian) ;;
  fuzz) required=(cmake ninja-build clang-14 libclang-rt-14-dev llvm-14) ;;
  qemu) required=(qemu-system-x86 busybox-static ipmitool) ;;
  cimom) required+=("${cimom[@]}") ;;
  ci) required+=(libgtest-dev libgmock-dev googletest g++-multilib openipmi ipmitool freeipmi-tools
                 dpkg-dev debhelper lintian pkg-config clang-14 libclang-rt-14-dev llvm-14 valgrind debootstrap
                 qemu-system-x86 busybox-static "${cimom[@]}") ;;
  *) echo "usage: $0 [build|test|package|fuzz|qemu|cimom|ci]" >&2; exit 2 ;;
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
  for p in "${all[@]}"; do echo "Installing $p"; done
  log=$(mktemp /tmp/vkt-deps.XXXXXX.log)
  export DEBIAN_FRONTEND=noninteractive
  if ! { apt-get update && apt-get install -y --no-install-recommends "${all[@]}"; } </dev/null >"$log" 2>&1; then
    echo "Installing Debian packages failed; apt's output ($log):" >&2
    cat "$log" >&2
    exit 1
  fi
  rm -f "$log"
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
