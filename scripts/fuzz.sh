#!/usr/bin/env bash
# Fuzzes every target for a while: scripts/fuzz.sh [build-folder] [seconds-per-target]
# (`make fuzz`: build-fuzz, FUZZ_SECONDS or 300 s; CI: 60 s).
#
# With clang (scripts/install-deps.sh installs it) the targets are libFuzzer
# programs, everything built with AddressSanitizer and
# UndefinedBehaviorSanitizer; without it, the GCC sanitizer build runs the same
# targets with the repeatable random driver. Each target starts from its
# corpus (tests/fuzz/corpus, and the test clips for the media target) and its
# regression inputs (tests/fuzz/regressions); what it learns stays in
# BUILD/fuzz-corpus, what fails goes to BUILD/fuzz-findings. A failure ends
# the script with an error; copy the input into tests/fuzz/regressions/TARGET
# once it is fixed.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build-fuzz}
SECONDS_EACH=${2:-${FUZZ_SECONDS:-300}}
JOBS=${JOBS:-2}

config=(-S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUOR_SANITIZE=ON -DQUOR_BUILD_BENCH=OFF)
if command -v clang++ >/dev/null && command -v clang >/dev/null; then
  config+=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQUOR_FUZZ=ON)
  engine="libFuzzer"
else
  config+=(-DQUOR_FUZZ=OFF)
  engine="the repeatable random driver"
fi
cmake "${config[@]}" >/dev/null
cmake --build "$BUILD" -j "$JOBS" --target fuzz_targets quor_data

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:allocator_may_return_null=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:suppressions=$PWD/scripts/ubsan.supp"
export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy
# Absolute names: the targets work inside a scratch folder of their own.
BUILD=$(cd "$BUILD" && pwd)
bin="$BUILD/bin"
findings="$BUILD/fuzz-findings"
mkdir -p "$findings"

export QUOR_TEST_MEDIA_DIR="$BUILD/test-media"
"$bin/fuzz_media" -make_corpus="$BUILD/fuzz-clips/media" >/dev/null 2>&1

summary=()
status=0
for t in command_line ini option_builder media; do
  corpus="$BUILD/fuzz-corpus/$t"
  mkdir -p "$corpus"
  inputs=("$corpus")
  # Git keeps no empty folders: a target without regression inputs has none.
  [ -d "tests/fuzz/regressions/$t" ] && inputs+=("$PWD/tests/fuzz/regressions/$t")
  [ -d "tests/fuzz/corpus/$t" ] && inputs+=("$PWD/tests/fuzz/corpus/$t")
  [ "$t" = media ] && inputs+=("$BUILD/fuzz-clips/media")
  args=(-max_total_time="$SECONDS_EACH" -timeout=30 -rss_limit_mb=4096 -max_len=65536
        -artifact_prefix="$findings/$t-" -print_final_stats=1)
  # FUZZ_SEED and FUZZ_RUNS make a run repeatable (CI): the same seed and at
  # most that many inputs from the same starting corpus walk the same inputs,
  # so CI checks what was checked before it rather than finding something new
  # at random; new ground is for `make fuzz`.
  [ -n "${FUZZ_SEED:-}" ] && args+=(-seed="$FUZZ_SEED")
  [ -n "${FUZZ_RUNS:-}" ] && args+=(-runs="$FUZZ_RUNS")
  [ -f "tests/fuzz/dict/$t.dict" ] && args+=(-dict="$PWD/tests/fuzz/dict/$t.dict")
  log="$findings/$t.log"
  echo "== fuzz_$t for ${SECONDS_EACH} s with $engine"
  if "$bin/fuzz_$t" "${args[@]}" "${inputs[@]}" >"$log" 2>&1; then
    runs=$(grep -oE 'Done [0-9]+ runs' "$log" | tail -1 | grep -oE '[0-9]+' || echo "?")
    summary+=("fuzz_$t: $runs inputs, none failed")
  else
    status=1
    summary+=("fuzz_$t: FAILED (see $log)")
    tail -40 "$log"
  fi
done
printf '%s\n' "${summary[@]}"
exit $status
