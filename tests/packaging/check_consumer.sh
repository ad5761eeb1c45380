#!/usr/bin/env bash
# Builds the consumer program against an installed tree, once through pkg-config and once
# through find_package(varkolt), and runs both against the simulated server.
#   check_consumer.sh PREFIX LIBDIR SIMULATOR    (CC and CFLAGS choose the compiler)
set -euo pipefail
prefix=$1 libdir=$2 simulator=$3
here=$(cd "$(dirname "$0")" && pwd)
cc=${CC:-cc}
cflags=${CFLAGS:-}
work=$(mktemp -d /tmp/vkt-consumer.XXXXXX)
trap 'rm -rf "$work"' EXIT

fail() { echo "check_consumer: $*" >&2; exit 1; }
[ -f "$simulator" ] || fail "no simulated server at $simulator"

run() {
  local out
  out=$(LD_LIBRARY_PATH="$prefix/$libdir" LD_PRELOAD="$simulator" VKT_CONSUMER_SIMULATOR="$simulator" \
        VKT_SIM_SCENARIO=demo VKT_SIM_FAKE_ROOT=1 ASAN_OPTIONS=verify_asan_link_order=0 "$1") ||
    fail "$1 failed: $out"
  grep -qx 'IP=192.0.2.10' <<<"$out" || fail "$1 printed: $out"
}

# Only this tree's varkolt.pc, and it must point into this tree wherever the tree lies.
export PKG_CONFIG_LIBDIR="$prefix/$libdir/pkgconfig"
[ "$(realpath -m "$(pkg-config --variable=libdir varkolt)")" = "$(realpath -m "$prefix/$libdir")" ] ||
  fail "varkolt.pc names libdir $(pkg-config --variable=libdir varkolt)"
pkg-config --exists 'varkolt >= 1' || fail "varkolt.pc gives version $(pkg-config --modversion varkolt)"
# shellcheck disable=SC2046,SC2086
"$cc" $cflags -Wall -Wextra -Werror "$here/consumer/consumer.c" $(pkg-config --cflags --libs varkolt) \
  -o "$work/consumer-pc"
run "$work/consumer-pc"
echo "pkg-config consumer: OK"

# The generator the project was built with (CMAKE_GENERATOR), else Ninja when it is there:
# a build machine needs Ninja or make, not both.
generator=${CMAKE_GENERATOR:-}
if [ -z "$generator" ] && command -v ninja >/dev/null; then generator=Ninja; fi
cmake ${generator:+-G "$generator"} -S "$here/consumer" -B "$work/cmake" -Dvarkolt_DIR="$prefix/$libdir/cmake/varkolt" \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_C_FLAGS="$cflags" >"$work/cmake.log" 2>&1 || { cat "$work/cmake.log"; fail "configure"; }
cmake --build "$work/cmake" >>"$work/cmake.log" 2>&1 || { cat "$work/cmake.log"; fail "build"; }
run "$work/cmake/consumer"
echo "find_package(varkolt) consumer: OK"
