#!/usr/bin/env bash
# Runs every libFuzzer target (or the TARGETs named) for SECONDS each
# (default 60) and reports the executions and whether anything was found.
# Called by ./run fuzz [SECONDS] [TARGET...].
#   build-fuzz/          the clang build with -DVELMORA_FUZZ=ON
#   build-fuzz/corpus/   the growing corpus, seeded from fuzz/corpus/<target>
#   fuzz/out/<target>/   crashing inputs and each run's log (not committed)
set -euo pipefail
ROOT=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)
SECONDS_EACH="${1:-60}"
case "$SECONDS_EACH" in
  ''|*[!0-9]*) echo "fuzz: SECONDS must be a whole number, not '$SECONDS_EACH'" >&2; exit 2 ;;
esac
BUILD="$ROOT/build-fuzz"
TARGETS=(framereader definition backupfile settingsfile showentry languagefile rfc2217)
if [ "$#" -gt 1 ]; then
  shift
  for t in "$@"; do
    case " ${TARGETS[*]} " in
      *" $t "*) ;;
      *) echo "fuzz: no target '$t' (there are: ${TARGETS[*]})" >&2; exit 2 ;;
    esac
  done
  TARGETS=("$@")
fi

if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DVELMORA_FUZZ=ON >/dev/null
fi
cmake --build "$BUILD" -j2 --target velmora_fuzz

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
found=0
results=()
for t in "${TARGETS[@]}"; do
  corpus="$BUILD/corpus/$t"
  out="$ROOT/fuzz/out/$t"
  mkdir -p "$corpus" "$out"
  log="$out/run.log"
  echo "fuzz: $t for ${SECONDS_EACH}s"
  status=0
  # The work folder comes first: libFuzzer adds new inputs only to it.
  "$BUILD/fuzz/fuzz_$t" -max_total_time="$SECONDS_EACH" -print_final_stats=1 \
    -artifact_prefix="$out/" "$corpus" "$ROOT/fuzz/corpus/$t" >"$log" 2>&1 || status=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  # A run stopped by a finding prints no final stats; take the last status line.
  [ -n "$execs" ] || execs=$(sed -n 's/^#\([0-9][0-9]*\).*/\1/p' "$log" | tail -1)
  artifact=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -1)
  if [ "$status" -ne 0 ] || grep -q '^==[0-9]*==ERROR\|runtime error:\|deadly signal' "$log"; then
    verdict="FOUND: ${artifact:-see $log}"
    found=1
  else
    verdict="nothing found"
  fi
  results+=("$(printf '%-14s %14s  %s' "$t" "${execs:-?}" "$verdict")")
done

echo
printf '%-14s %14s  %s\n' target executions result
for r in "${results[@]}"; do echo "$r"; done
exit "$found"
