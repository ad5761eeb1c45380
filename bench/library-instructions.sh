#!/usr/bin/env bash
# Instructions the library itself executes per enumeration of a class, counted with
# callgrind: collection is on inside the provider's EnumInstances and off inside the
# broker's functions and the fake device's system-call stand-ins, so neither the simulated
# BMC nor the broker side of CMPI is counted (the C library calls the library makes are).
# Callgrind writes out the count of each enumeration as it returns, so one run of vkt-bench
# gives the first enumeration of every class in the process and the later ones apart.
#   bench/library-instructions.sh [--plain] [PROVIDER|all [build-dir [vkt-bench options...]]]
#   e.g. bench/library-instructions.sh SELListProvider build --sel 512
# --plain prints "PROVIDER FIRST EACH" per class, for bench/baseline.sh.
set -euo pipefail
plain=false
if [ "${1:-}" = --plain ]; then
  plain=true
  shift
fi
provider=${1:-SELListProvider}
build=${2:-build}
shift 2 2>/dev/null || shift $#
command -v valgrind >/dev/null || { echo "valgrind is needed" >&2; exit 2; }
classes=()
[ "$provider" = all ] || classes=(--class "$provider")

# Callgrind keeps one setting per function pattern, the last one given: the dump and the
# toggle are given with different patterns so that each provider gets both.
options=(--tool=callgrind --collect-atstart=no "--dump-after=*EnumInstances*")
for f in '*EnumInstances(*' ioctl select poll getuid '*opAddKey*' '*brNewInstance*' '*brNewObjectPath*' \
         '*instSetPropertyFilter*' '*instSetProperty(*' '*resReturnInstance*' '*resReturnDone*'; do
  options+=("--toggle-collect=$f")
done
dumps=$(mktemp -d /tmp/vkt-instructions.XXXXXX)
trap 'rm -rf "$dumps"' EXIT
# The first enumeration and two later ones: the last is the steady state. (vkt-bench's
# status 1, exchanges other than its model expects, leaves the counts as good as any.)
status=0
valgrind "${options[@]}" --callgrind-out-file="$dumps/out" \
  "$build/bin/vkt-bench" "${classes[@]}" --runs 2 "$@" >"$dumps/bench.log" 2>&1 || status=$?
if [ "$status" -gt 1 ]; then
  echo "vkt-bench failed under callgrind (status $status):" >&2
  cat "$dumps/bench.log" >&2
  exit 1
fi

# out.1, out.2, ... in the order they were written: "PROVIDER first each" per class.
counts=$(for f in $(ls "$dumps" | grep '^out\.[0-9]*$' | sort -t. -k2 -n); do
  awk '/^desc: Trigger: --dump-after=/ { sub(/.*--dump-after=/, ""); sub(/EnumInstances.*/, ""); name = $0 }
       /^summary:/ { print name, $2 }' "$dumps/$f"
done | awk '!($1 in first) { order[n++] = $1; first[$1] = $2 } { last[$1] = $2 }
            END { for (i = 0; i < n; ++i) print order[i], first[order[i]], last[order[i]] }')
[ -n "$counts" ] || { echo "callgrind wrote no enumeration" >&2; exit 1; }
if $plain; then
  echo "$counts"
else
  echo "$counts" | while read -r name first each; do
    echo "$name: $each library instructions per steady-state enumeration ($first in the first of the process)"
  done
fi
