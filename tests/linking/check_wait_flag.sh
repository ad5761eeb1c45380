#!/usr/bin/env bash
# Builds wait_flag.c against the built shared library the way an integrator links it
# (-I include -L libdir -lvarkoltprovider) and runs it through the dynamic linker against
# the simulated server, whose BMC is away for 75 seconds after a reset (on the server's
# clock, which the library's pauses move without taking real time).
#   check_wait_flag.sh INCLUDE-DIR LIB-DIR SIMULATOR    (CC and CFLAGS choose the compiler)
set -euo pipefail
include=$1 libdir=$2 simulator=$3
here=$(cd "$(dirname "$0")" && pwd)
cc=${CC:-cc}
cflags=${CFLAGS:-}
work=$(mktemp -d /tmp/vkt-wait-flag.XXXXXX)
trap 'rm -rf "$work"' EXIT

fail() { echo "check_wait_flag: $*" >&2; exit 1; }
[ -f "$simulator" ] || fail "no simulated server at $simulator"

# shellcheck disable=SC2086
"$cc" $cflags -Wall -Wextra -Werror -I "$include" "$here/wait_flag.c" -L "$libdir" -lvarkoltprovider -ldl \
  -o "$work/wait_flag"
# The program's own copy of the flag, which the library must use.
if command -v readelf >/dev/null && readelf -rW "$work/wait_flag" | grep -q 'R_[A-Z0-9_]*_COPY .*waitBMCWakeupFlag'; then
  echo "the program holds a copy of waitBMCWakeupFlag"
fi

out=$(LD_LIBRARY_PATH="$libdir" LD_PRELOAD="$simulator" VKT_CONSUMER_SIMULATOR="$simulator" \
      VKT_SIM_SCENARIO=demo VKT_SIM_FAKE_ROOT=1 VKT_SIM_FAST_PAUSES=1 VKT_SIM_RESTART_MS=75000 \
      VKT_SIM_LOG="$work/requests.log" ASAN_OPTIONS=verify_asan_link_order=0 "$work/wait_flag") ||
  fail "wait_flag failed: $out"

dots() { printf '%*s' "$1" '' | tr ' ' .; }
expected="BMC cold reset successfully completed!
Please wait a few minutes for the BMC to restart.
$(dots 40)
$(dots 35)
Done.
bmc_ColdReset: 0, waitBMCWakeupFlag: 0
BMC cold reset successfully completed!
bmc_ColdReset: 0, waitBMCWakeupFlag: 0"
[ "$out" = "$expected" ] || fail "the program printed (< expected, > printed):"$'\n'"$(diff <(echo "$expected") <(echo "$out"))"

# Between the two resets: a probe a second from the 60th, the last one (75th) answered.
# Each probe asks for the firmware family, beginning with Get System GUID.
probes=$(sed -n '/^06\/02$/,/^06\/02$/p' "$work/requests.log" | grep -c '^06/37$' || true)
[ "$probes" = 16 ] || fail "$probes probes between the resets, not 16:"$'\n'"$(cat "$work/requests.log")"
echo "exported flag through the dynamic linker: OK"
