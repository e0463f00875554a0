#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each for a bounded time, several at
# once. Any crash, leak, timeout or sanitizer report fails the run; the
# offending input is kept and its path printed.
#
#   bash tests/fuzz/run.sh          build and fuzz every target
#   bash tests/fuzz/run.sh seeds    rewrite tests/fuzz/corpus with the seed generator
#
# FUZZ_SECONDS  time per target (default 60; a quarter of it for the one-line
#               parsers dateTimeText and timeUnits, whose coverage is complete
#               within seconds)
# FUZZ_JOBS     targets run at once (default: the number of cores)
# FUZZ_BUILD    build folder, kept between runs (default: a fresh temporary one)
# FUZZ_TARGETS  space-separated subset of the targets
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
seconds=${FUZZ_SECONDS:-60}
jobs=${FUZZ_JOBS:-$(nproc)}
targets=${FUZZ_TARGETS:-"resultFile resultFileOld meshBinary meshText text0D text1D bathymetry setupText dateTimeText timeUnits"}
short_targets=" dateTimeText timeUnits "
seconds_of() {
  case "$short_targets" in
    *" $1 "*) echo $(( (seconds + 3) / 4 )) ;;
    *) echo "$seconds" ;;
  esac
}
cxx=${FUZZ_CXX:-clang++}

work=$(mktemp -d "${TMPDIR:-/tmp}/hestor-fuzz-run.XXXXXX")
build=${FUZZ_BUILD:-$work/build}
keep=0
cleanup() { if [ "$keep" = 0 ]; then rm -rf "$work"; fi; }
trap cleanup EXIT

echo "== fuzz: building in $build"
cmake -S "$here" -B "$build" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=None >/dev/null
cmake --build "$build" -j "$jobs" >"$work/build.log" 2>&1 || { cat "$work/build.log"; exit 1; }

if [ "${1:-}" = seeds ]; then
  for t in $targets; do rm -rf "${here:?}/corpus/$t"; done
  "$build/makeSeeds" "$here/corpus"
  du -sh "$here/corpus"/*
  exit 0
fi

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:symbolize=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

run_one() {
  local t=$1 dir=$work/$1
  mkdir -p "$dir/corpus" "$dir/artifacts" "$dir/tmp"
  # New inputs go to the scratch corpus; the checked-in seeds stay as they are.
  TMPDIR="$dir/tmp" "$build/fuzz_$t" -max_total_time="$(seconds_of "$t")" -timeout=20 -rss_limit_mb=2048 \
    -max_len=8192 -print_final_stats=1 -artifact_prefix="$dir/artifacts/" \
    "$dir/corpus" "$here/corpus/$t" >"$dir/log" 2>&1
}

echo "== fuzz: ${seconds}s per target (parsers of one line $(seconds_of timeUnits)s), $jobs at a time: $targets"
declare -A pid_of
failed=()
running=0
for t in $targets; do
  [ -x "$build/fuzz_$t" ] || { echo "no such target: $t"; exit 1; }
  if [ "$running" -ge "$jobs" ]; then wait -n || true; running=$((running - 1)); fi
  run_one "$t" &
  pid_of[$t]=$!
  running=$((running + 1))
done
for t in $targets; do
  if wait "${pid_of[$t]}"; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/$t/log" | grep -o '[0-9]*$' || echo '?')
    echo "   $t: ok ($runs inputs)"
  else
    failed+=("$t")
  fi
done

if [ "${#failed[@]}" -gt 0 ]; then
  keep=1
  for t in "${failed[@]}"; do
    echo "== fuzz: $t FAILED; log $work/$t/log"
    # The first report, from its first line on.
    awk '/==[0-9]+== ?ERROR|runtime error:|ALARM:|out-of-memory/ { on = 1 } on && n++ < 45' \
      "$work/$t/log"
    ls "$work/$t/artifacts"/* 2>/dev/null | sed 's/^/   input: /'
  done
  echo "Replay an input: $build/fuzz_<target> <input>; check it in under tests/cpp/data/fuzz/<target>/."
  exit 1
fi
echo "== fuzz: all targets clean"
