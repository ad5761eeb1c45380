#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (in their own build directory) and runs
# each one, starting from its seed corpus in fuzz/corpus/<target>/, for a bounded time.
# A crash, a sanitizer report, a leak or an input that runs longer than the per-input limit
# fails the script; the input that did it is left in the target's run directory.
#   scripts/fuzz.sh [seconds per target] [target ...]      (targets: fru_image, kcs, ...)
# Environment: VKT_FUZZ_SECONDS (default 60), VKT_FUZZ_BUILD (default build-fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-${VKT_FUZZ_SECONDS:-60}}
shift || true
build=${VKT_FUZZ_BUILD:-build-fuzz}

scripts/deps.sh fuzz
CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVKT_FUZZ=ON >/dev/null
cmake --build "$build" -j2 --target fuzz_all

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in fuzz/fuzz_*.cpp; do
    name=$(basename "$source" .cpp)
    [ "$name" = fuzz_support ] || targets+=("${name#fuzz_}")
  done
fi
if [ -x /usr/lib/llvm-14/bin/llvm-symbolizer ]; then
  export ASAN_SYMBOLIZER_PATH=/usr/lib/llvm-14/bin/llvm-symbolizer
fi

failed=()
for target in "${targets[@]}"; do
  program="$root/$build/bin/fuzz_$target"
  seeds="$root/fuzz/corpus/$target"
  run="$root/$build/fuzz-run/$target"
  [ -x "$program" ] || { echo "no fuzz target $target" >&2; exit 2; }
  rm -rf "$run"
  mkdir -p "$run/corpus"
  echo "== fuzz_$target: ${seconds}s =="
  # New inputs go to the run directory; the seeds in the tree stay as they are. The
  # library's own output is dropped (-close_fd_mask); libFuzzer's and the sanitizers'
  # reports still reach the log.
  if (cd "$run" && "$program" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2560 \
        -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="$run/" corpus "$seeds" >log 2>&1); then
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)' "$run/log" | tr '\n' ' '
    echo
  else
    echo "fuzz_$target FAILED (log and input in $run):"
    grep -E -A40 '^==[0-9]+==ERROR|runtime error|^fuzz_|ALARM|libFuzzer: (deadly|timeout|out-of-memory|fuzz target exited)' \
      "$run/log" | head -60
    failed+=("$target")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found problems in: ${failed[*]}" >&2
  exit 1
fi
echo "fuzzing: no findings in ${targets[*]}"
