#!/usr/bin/env bash
# Instructions the library itself executes per steady-state enumeration of one class,
# counted with callgrind: collection is on inside the provider's EnumInstances and off
# inside the broker's functions and the fake device's system-call stand-ins, so neither the
# simulated BMC nor the broker side of CMPI is counted (the C library calls the library
# makes are). The first enumeration of the process is taken out by running R and R+10
# enumerations and dividing the difference by 10.
#   bench/library-instructions.sh [PROVIDER [build-dir [vkt-bench options...]]]
#   e.g. bench/library-instructions.sh SELListProvider build --sel 512
set -euo pipefail
provider=${1:-SELListProvider}
build=${2:-build}
shift 2 2>/dev/null || shift $#
command -v valgrind >/dev/null || { echo "valgrind is needed" >&2; exit 2; }
toggles=()
for f in "${provider}EnumInstances*" ioctl select poll getuid '*opAddKey*' '*brNewInstance*' \
         '*brNewObjectPath*' '*instSetPropertyFilter*' '*instSetProperty(*' '*resReturnInstance*' \
         '*resReturnDone*'; do
  toggles+=("--toggle-collect=$f")
done
count() {
  local runs=$1
  shift
  valgrind --tool=callgrind --collect-atstart=no "${toggles[@]}" --callgrind-out-file=/dev/null \
    "$build/bin/vkt-bench" --class "$provider" --runs "$runs" "$@" 2>&1 | awk '/Collected/ {print $4}'
}
low=$(count 3 "$@")
high=$(count 13 "$@")
echo "$provider: $(( (high - low) / 10 )) library instructions per steady-state enumeration"
