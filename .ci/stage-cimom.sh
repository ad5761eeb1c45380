#!/usr/bin/env bash
# CI stage: the class definitions and registrations we install, in the two CIM object
# managers integrators load CMPI providers into, SBLIM sfcb 1.3.13 and OpenPegasus 2.14.4,
# built from the sources in shared/cimom beside the checkout. The build tree is installed
# into a scratch prefix; each CIMOM gets the installed files with the README's commands, runs
# the provider against the simulated server (demo and multi-node scenarios) and must answer
# every class as vkt-cim does (tests/cimom/cimxml_check.py); then the README's way of
# unregistering must take the classes away again.
#   .ci/stage-cimom.sh BUILD-DIR      (a build tree with the library, vkt-cim and the simulator)
# Environment:
#   VKT_CIMOM_SOURCES  the CIMOM sources and build scripts (default: shared/cimom in the
#                      nearest parent directory of the checkout that has one)
#   VKT_CIMOM_BUILDS   where the CIMOMs are built (default BUILD-DIR/cimom)
#   VKT_CIMOM_REUSE=1  use CIMOMs built there before rather than building them again
# Without the sources (a newcomer's machine) the stage says so and is skipped.
set -euo pipefail
checkout=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: stage-cimom.sh BUILD-DIR}" && pwd)
T0=$(date +%s)
say() { echo "[cimom $(($(date +%s) - T0))s] $*"; }
fail() { echo "stage-cimom: $*" >&2; exit 1; }

sources=${VKT_CIMOM_SOURCES:-}
if [ -z "$sources" ]; then
  d=$(dirname "$checkout")
  while [ "$d" != / ]; do
    if [ -d "$d/shared/cimom" ]; then sources=$d/shared/cimom; break; fi
    d=$(dirname "$d")
  done
fi
if [ -z "$sources" ] || [ ! -f "$sources/build-sfcb.sh" ] || [ ! -f "$sources/build-openpegasus.sh" ]; then
  echo "stage-cimom: no CIMOM sources (shared/cimom beside the checkout, or VKT_CIMOM_SOURCES): skipped"
  exit 0
fi
say "CIMOM sources: $sources"
# The CIMOMs run their providers as the user they run as, and the library ends a process
# that is not root.
[ "$(id -u)" -eq 0 ] || fail "the CIMOM stage runs as root"

"$checkout/scripts/deps.sh" cimom
for f in lib/libvarkoltprovider.so.1 lib/libvktfakebmc.so bin/vkt-cim; do
  [ -e "$build/$f" ] || fail "$build/$f is missing: build the tree first"
done

builds=${VKT_CIMOM_BUILDS:-$build/cimom}
mkdir -p "$builds"
builds=$(cd "$builds" && pwd)
sfcb=$builds/sfcb pegasus=$builds/pegasus work=$builds/work
rm -rf "$work"; mkdir -p "$work"

# Installed as an integrator gets it: the files under share/varkolt, the provider directory.
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
cmake --install "$build" --prefix "$work/usr" --component runtime >/dev/null
share=$work/usr/share/varkolt
provdir=$work/usr/$libdir/cmpi
[ -e "$provdir/libvarkoltprovider.so" ] || fail "no provider link in $provdir"

# OpenPegasus takes far longer to build: it builds in the background (a session of its own,
# so that a failing stage can stop it whole) while sfcb is built and checked.
timing="%0R s wall, %0U s user, %0S s system"
pegasus_log=$builds/pegasus-build.out
if [ "${VKT_CIMOM_REUSE:-}" = 1 ] && [ -x "$pegasus/start.sh" ]; then
  echo "reused" >"$pegasus_log"; pegasus_pid=
else
  TIMEFORMAT="built: $timing" setsid bash -c 'time nice sh "$0" "$1"' \
    "$sources/build-openpegasus.sh" "$pegasus" >"$pegasus_log" 2>&1 &
  pegasus_pid=$!
fi
stop_all() {
  if [ -n "${pegasus_pid:-}" ]; then kill -- -"$pegasus_pid" 2>/dev/null || true; fi
  if [ -f "$sfcb/var/run/sfcbd.pid" ]; then "$sfcb/stop.sh" >/dev/null 2>&1 || true; fi
  if [ -x "$pegasus/stop.sh" ]; then "$pegasus/stop.sh" >/dev/null 2>&1 || true; fi
}
trap stop_all EXIT

expected() {  # SCENARIO: what vkt-cim publishes, the document the CIMOMs are compared with
  [ -f "$work/$1.json" ] || "$build/bin/vkt-cim" --simulate="$1" --json enumerate --all >"$work/$1.json" 2>/dev/null ||
    fail "vkt-cim --simulate=$1 failed"
}
check() {  # LABEL SCENARIO [cimxml_check options]: compare the running CIMOM with vkt-cim
  local label=$1 scenario=$2; shift 2
  expected "$scenario"
  say "$label, scenario $scenario: comparing every class with vkt-cim"
  python3 "$checkout/tests/cimom/cimxml_check.py" "$@" "$share" "$work/$scenario.json" ||
    fail "$label answers differently from vkt-cim (scenario $scenario)"
}
# ---- sfcb ----------------------------------------------------------------------------------
if [ "${VKT_CIMOM_REUSE:-}" = 1 ] && [ -x "$sfcb/start.sh" ]; then
  say "sfcb: reusing $sfcb"
else
  TIMEFORMAT=$timing
  { time sh "$sources/build-sfcb.sh" "$sfcb" >"$builds/sfcb-build.out" 2>&1; } 2>"$builds/sfcb-build.time" ||
    { tail -20 "$builds/sfcb-build.out"; fail "building sfcb failed"; }
  say "sfcb built: $(cat "$builds/sfcb-build.time")"
fi
(
  export PATH=$sfcb/bin:$sfcb/sbin:$PATH
  # providerDirs must name the provider directory (README).
  grep -q "^providerDirs:.* $provdir\$" "$sfcb/etc/sfcb/sfcb.cfg" || sed -i "s|^providerDirs:.*|& $provdir|" "$sfcb/etc/sfcb/sfcb.cfg"
  # A repository left by an earlier run goes first, as the README unregisters.
  sfcbunstage -n varkolt/cimv2 -r varkolt.reg varkolt.mof >/dev/null 2>&1 || true
  sfcbunstage -n varkolt/cimv2 -r varkolt-actions.reg varkolt-actions.mof >/dev/null 2>&1 || true
  # The README's steps: the data classes, then (on purpose) the action classes.
  sfcbstage -n varkolt/cimv2 -r "$share/varkolt.reg" "$share/varkolt.mof"
  sfcbstage -n varkolt/cimv2 -r "$share/varkolt-actions.reg" "$share/varkolt-actions.mof"
  out=$(sfcbrepos -f 2>&1) || fail "sfcbrepos -f failed: $out"
  if grep -qi -e error -e redefinition -e failed <<<"$out"; then fail "sfcbrepos -f: $out"; fi
  for scenario in demo multinode; do
    VKT_SIM_SCENARIO=$scenario LD_PRELOAD=$build/lib/libvktfakebmc.so "$sfcb/start.sh" >/dev/null
    if [ $scenario = demo ]; then
      # The README's check command.
      wbemcli ei 'http://localhost:5988/varkolt/cimv2:VKT_FRU' | grep -q '^localhost:5988/varkolt/cimv2:VKT_FRU.deviceID="FRU" .*deviceID="FRU"' ||
        fail "sfcb: wbemcli ei VKT_FRU does not show the key property"
    fi
    check sfcb $scenario
    "$sfcb/stop.sh"
  done
  # Unregistering as the README says: sfcbunstage takes the names of the staged files.
  sfcbunstage -n varkolt/cimv2 -r varkolt-actions.reg varkolt-actions.mof
  sfcbunstage -n varkolt/cimv2 -r varkolt.reg varkolt.mof
  sfcbrepos -f >/dev/null
  "$sfcb/start.sh" >/dev/null
  python3 "$checkout/tests/cimom/cimxml_check.py" --gone "$share" || fail "sfcb: classes left after unregistering"
  "$sfcb/stop.sh"
  say "sfcb: OK"
)

# ---- OpenPegasus ----------------------------------------------------------------------------
if [ -n "$pegasus_pid" ]; then
  say "OpenPegasus: waiting for its build ($pegasus_log)"
  wait "$pegasus_pid" || { tail -20 "$pegasus_log"; fail "building OpenPegasus failed"; }
  pegasus_pid=
  say "OpenPegasus $(tail -1 "$pegasus_log")"
fi
(
  . "$pegasus/env.sh"
  VKT_SIM_SCENARIO=demo LD_PRELOAD=$build/lib/libvktfakebmc.so "$pegasus/start.sh" "$provdir" >/dev/null
  # Leftovers of an earlier run go first, as the README unregisters.
  cimprovider -r -m varkoltprovider >/dev/null 2>&1 || true
  for c in $(cimcli nc -n varkolt/cimv2 2>/dev/null); do cimcli dc -n varkolt/cimv2 "$c" >/dev/null 2>&1 || true; done
  # The README's steps: qualifiers and data classes, their registration; then (on purpose)
  # the action classes and theirs.
  cimmof -n varkolt/cimv2 "$share/varkolt-qualifiers.mof" "$share/varkolt.mof"
  cimmof -n root/PG_InterOp "$share/varkolt-pegasus.mof"
  cimmof -n varkolt/cimv2 "$share/varkolt-actions.mof"
  cimmof -n root/PG_InterOp "$share/varkolt-actions-pegasus.mof"
  cimcli ei -n varkolt/cimv2 VKT_FRU | grep -q '^ *deviceID = "FRU";$' ||
    fail "OpenPegasus: cimcli ei VKT_FRU does not show the key property"
  for scenario in demo multinode; do
    if [ $scenario != demo ]; then
      "$pegasus/stop.sh" >/dev/null
      VKT_SIM_SCENARIO=$scenario LD_PRELOAD=$build/lib/libvktfakebmc.so "$pegasus/start.sh" "$provdir" >/dev/null
    fi
    check OpenPegasus $scenario --drops-undeclared
  done
  cimprovider -r -m varkoltprovider
  for c in $(cimcli nc -n varkolt/cimv2); do cimcli dc -n varkolt/cimv2 "$c"; done
  python3 "$checkout/tests/cimom/cimxml_check.py" --gone "$share" || fail "OpenPegasus: classes left after unregistering"
  "$pegasus/stop.sh" >/dev/null
  say "OpenPegasus: OK"
)
say "both CIMOMs answer as vkt-cim does"
