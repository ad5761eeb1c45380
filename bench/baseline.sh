#!/usr/bin/env bash
# Holds what the library costs on the demo server against bench/baseline.txt and fails on a
# regression: any change in the exchanges of a class (over the OpenIPMI device and over the
# KCS ports, in the first enumeration of the process and in each later one), the library's
# own instructions per enumeration (bench/library-instructions.sh) up by more than their
# tolerance, the resident memory after all classes up by more than its tolerance, or a
# process that grows while it enumerates every class 2000 times over (vkt-bench --rounds).
# Figures below the baseline by more than the tolerance pass with a note: re-recording
# keeps the check tight.
#   bench/baseline.sh [--record] [build-dir]        (default build)
# --record writes the build's figures to bench/baseline.txt, keeping its tolerances.
set -euo pipefail
cd "$(dirname "$0")/.."
record=false
if [ "${1:-}" = --record ]; then
  record=true
  shift
fi
build=${1:-build}
baseline=bench/baseline.txt
bench="$build/bin/vkt-bench"
[ -x "$bench" ] || { echo "no $bench: build the tools first" >&2; exit 2; }
command -v valgrind >/dev/null || { echo "valgrind is needed (Debian package valgrind)" >&2; exit 2; }

work=$(mktemp -d /tmp/vkt-baseline.XXXXXX)
trap 'rm -rf "$work"' EXIT

# vkt-bench's status is 1 when a class's exchanges differ from what its own model of the
# server expects: such figures are still held against the baseline, but never recorded.
modelDiffers=()
figures() {
  local out=$1 what=$2
  shift 2
  local status=0
  "$bench" --figures "$@" >"$out" || status=$?
  [ "$status" -eq 0 ] && return
  [ "$status" -eq 1 ] || { echo "vkt-bench --figures $*: exit status $status" >&2; exit 1; }
  modelDiffers+=("$what")
}
figures "$work/device" "device"
figures "$work/kcs" "KCS ports" --kcs --runs 1
bench/library-instructions.sh --plain all "$build" >"$work/instructions"

# One row per class: device first/each, KCS first/each, instructions first/each.
awk 'FILENAME == ARGV[1] && $1 != "rss-kib" { order[n++] = $1; prefix[$1] = $2; dev[$1] = $3 " " $4 }
     FILENAME == ARGV[1] && $1 == "rss-kib" { rss = $2 }
     FILENAME == ARGV[2] && $1 != "rss-kib" { kcs[$1] = $3 " " $4 }
     FILENAME == ARGV[3] { ins[$1] = $2 " " $3 }
     END {
       for (i = 0; i < n; ++i) {
         c = order[i]
         if (!(c in kcs) || !(prefix[c] in ins)) { print "no figures for " c > "/dev/stderr"; exit 1 }
         split(dev[c] " " kcs[c] " " ins[prefix[c]], v, " ")
         printf "%-26s %6d %6d %6d %6d %9d %9d\n", c, v[1], v[2], v[3], v[4], v[5], v[6]
       }
       printf "rss-kib %d\n", rss
     }' "$work/device" "$work/kcs" "$work/instructions" >"$work/now"

modelNotes() {
  for what in "${modelDiffers[@]+"${modelDiffers[@]}"}"; do
    echo "over the $what, exchanges differ from what vkt-bench's model of the server expects (see its table)"
  done
  [ ${#modelDiffers[@]} -eq 0 ]
}
if $record; then
  modelNotes || { echo "nothing recorded: the exchanges must agree with the model first" >&2; exit 1; }
  tolerances=$(grep '^tolerance ' "$baseline" 2>/dev/null ||
                printf 'tolerance instructions 3%% 200\ntolerance rss-kib 10%%\n')
  {
    cat <<'EOF'
# What the library costs on the demo server, every class enumerated in list order in one
# process. Held by bench/baseline.sh, rewritten by bench/baseline.sh --record.
# Exchanges must match exactly. The library's own instructions may rise by the tolerance's
# percentage or its count, whichever is larger (the totals over all classes by the
# percentage); the resident memory after all classes by its percentage.
EOF
    echo "$tolerances"
    echo "#                              device          KCS           instructions"
    printf "%-26s %6s %6s %6s %6s %9s %9s\n" "# class" first each first each first each
    cat "$work/now"
  } >"$baseline"
  echo "recorded $baseline:"
  grep -v '^#' "$baseline"
  exit 0
fi

status=0
[ -f "$baseline" ] || { echo "no $baseline: record one with bench/baseline.sh --record $build" >&2; exit 2; }
awk -v build="$build" '
  function pct(now, base) { return base == 0 ? 0 : 100.0 * (now - base) / base }
  function exact(c, what, now, base) {
    if (now != base) { printf "  %s: %s %d, baseline %d\n", c, what, now, base; ++failed }
  }
  # Up by more than the tolerance fails; down by more than it is noted.
  function bounded(c, what, now, base, percent, count,   allowed) {
    allowed = base * percent / 100
    if (allowed < count) allowed = count
    if (now > base + allowed) {
      printf "  %s: %s %d, baseline %d (%+.1f%%, beyond %s%%%s)\n", c, what, now, base, pct(now, base), percent,
             (count > 0 ? " or " count : "")
      ++failed
    } else if (now < base - allowed) {
      printf "  %s: %s %d, baseline %d (%+.1f%%): better than the baseline\n", c, what, now, base, pct(now, base)
      ++better
    }
  }
  FILENAME == ARGV[1] && $1 == "tolerance" && $2 == "instructions" { insPct = $3 + 0; insCount = $4 + 0; next }
  FILENAME == ARGV[1] && $1 == "tolerance" && $2 == "rss-kib" { rssPct = $3 + 0; next }
  FILENAME == ARGV[1] && $1 == "rss-kib" { baseRss = $2; next }
  FILENAME == ARGV[1] && /^[^#]/ && NF == 7 { base[$1] = $0; baseOrder[nb++] = $1; next }
  FILENAME == ARGV[2] && $1 == "rss-kib" { nowRss = $2; next }
  FILENAME == ARGV[2] { now[$1] = $0; nowOrder[nn++] = $1 }
  END {
    printf "%-26s %13s %13s %19s\n", "class", "device", "KCS", "instructions"
    printf "%-26s %6s %6s %6s %6s %9s %9s\n", "", "first", "each", "first", "each", "first", "each"
    for (i = 0; i < nn; ++i) print now[nowOrder[i]]
    printf "rss-kib %d (baseline %d)\n\n", nowRss, baseRss
    for (i = 0; i < nn; ++i) {
      c = nowOrder[i]
      if (!(c in base)) { printf "  %s: not in the baseline\n", c; ++failed; continue }
      split(now[c], v, " "); split(base[c], b, " ")
      exact(c, "exchanges over the device, first enumeration", v[2], b[2])
      exact(c, "exchanges over the device, each later one", v[3], b[3])
      exact(c, "exchanges over KCS, first enumeration", v[4], b[4])
      exact(c, "exchanges over KCS, each later one", v[5], b[5])
      bounded(c, "instructions, first enumeration", v[6], b[6], insPct, insCount)
      bounded(c, "instructions, each later one", v[7], b[7], insPct, insCount)
      for (k = 2; k <= 7; ++k) { sumNow[k] += v[k]; sumBase[k] += b[k] }
    }
    for (i = 0; i < nb; ++i)
      if (!(baseOrder[i] in now)) { printf "  %s: in the baseline, not measured\n", baseOrder[i]; ++failed }
    bounded("all classes", "instructions, first enumerations", sumNow[6], sumBase[6], insPct, 0)
    bounded("all classes", "instructions, each later one", sumNow[7], sumBase[7], insPct, 0)
    bounded("after all classes", "resident memory KiB", nowRss, baseRss, rssPct, 0)
    if (failed > 0) {
      printf "baseline check FAILED: %d figure(s) beyond bench/baseline.txt. A change meant to cost more\n", failed
      printf "is recorded with bench/baseline.sh --record %s (then commit bench/baseline.txt).\n", build
      exit 1
    }
    printf "baseline check passed: the exchanges as recorded, instructions and memory within their tolerances%s\n",
           (better > 0 ? " (some better: bench/baseline.sh --record " build " keeps the check tight)" : "")
  }' "$baseline" "$work/now" || status=1
modelNotes || status=1
# Enumerating again and again keeps the process its size: neither the simulated server as it
# ships nor the library keeps anything per exchange.
"$bench" --rounds 2000 || status=1
exit $status
