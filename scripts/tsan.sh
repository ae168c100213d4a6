#!/usr/bin/env bash
# Builds the threaded tests (log collector, converter component, conversion
# engine and its hooks, picture conversion, test media made by two threads,
# settings files written by several threads, player, frame hook (also on the
# bands of a converted picture), batch driver (also with its files and
# folders changing under it, and with several files converting at once), the progress window (closed by every means
# while the batch runs),
# the command-line converter, which its test runs as a child process, and the
# watermark editor's rows, deleted while its player's hook walks them, and
# the trim and crop windows, closed while their players open or seek)
# with ThreadSanitizer and runs them. Only these targets are built, so the step
# stays short on a small machine.
#   bash scripts/tsan.sh [build-folder]      (default build-tsan)
# Any report fails the run; scripts/tsan.supp lists the reports that lie
# wholly inside libraries that are not built for the race detector.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-tsan}"
case "$build" in /*) ;; *) build="$PWD/$build" ;; esac

# Test executable and, where some of its tests are left out, a filter.
targets=(
  engine_test_logger
  engine_test_vcl
  engine_test_convert
  engine_test_convert_hooks
  engine_test_frameconverter
  engine_test_probe_testmedia
  platform_test_inifile
  player_test_player
  player_test_parts
  editing_test_frame_hook
  editing_test_wm_editor_core
  editing_test_hook_pictures
  batch_test_batch_driver
  batch_test_batch_bad_input
  batch_test_batch_parallel
  cli_test_convert
  gui_test_watermark
  gui_test_trim_window
  gui_test_crop_window
  gui_test_edit_windows
  gui_test_progress_window
)
declare -A filters=(
  [editing_test_wm_editor_core]='WmLayerStack.*'
  [gui_test_watermark]='WaterMarkTest.RowsDeleted*:WaterMarkTest.AnItemWhoseStart*'
)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUOR_TSAN=ON \
  -DQUOR_BUILD_BENCH=OFF > /dev/null
# Read the whole target list first: `grep -q` on a pipe would stop ninja
# with SIGPIPE, which pipefail turns into "no such target".
known="$(cmake --build "$build" --target help)"
for t in "${targets[@]}"; do
  if ! grep -q "^$t:" <<<"$known"; then echo "tsan: no target $t" >&2; exit 1; fi
done
cmake --build "$build" -j "${JOBS:-2}" --target "${targets[@]}"

# halt_on_error: the first report fails the test executable (exit code 66).
# Options already in TSAN_OPTIONS come last and win (halt_on_error=0 lists
# every report of a run).
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:history_size=4:suppressions=$PWD/scripts/tsan.supp${TSAN_OPTIONS:+:$TSAN_OPTIONS}"
export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy
export QUOR_TEST_MEDIA_DIR="$build/test-media"
# The detector needs the usual address layout; on kernels with more address
# randomisation than it expects it stops at start, so run the tests without
# randomisation where the system allows that.
run=()
if setarch "$(uname -m)" -R true 2>/dev/null; then run=(setarch "$(uname -m)" -R); fi
# A hung test must not hold CI until its overall limit; each program here
# takes well under a minute.
run+=(timeout -k 10 300)
# This step looks for races. Under the detector a program runs five to
# fifteen times slower, and a test that waits on the clock can miss its time
# on a loaded machine. A program whose tests failed without a report runs its
# failed tests once more, and the run says so; a report (exit code 66) or a
# second failure fails the step. The normal build runs every test without
# this allowance.
readonly report_code=66
failed_tests() { sed -n 's/^\[  FAILED  \] \([^ ]*\)\( (.*)\)\?$/\1/p' "$1" | sort -u | paste -sd: -; }
failed=()
for t in "${targets[@]}"; do
  echo "== $t (ThreadSanitizer)"
  args=()
  if [[ -n "${filters[$t]:-}" ]]; then args+=("--gtest_filter=${filters[$t]}"); fi
  log="$build/$t.tsan.log"
  code=0
  "${run[@]}" "$build/bin/$t" "${args[@]}" 2>&1 | tee "$log" || code=${PIPESTATUS[0]}
  if ((code == 0)); then continue; fi
  again="$(failed_tests "$log")"
  if ((code != report_code)) && [[ -n "$again" ]]; then
    echo "== $t: tests failed without a race report; once more: $again"
    if "${run[@]}" "$build/bin/$t" "--gtest_filter=$again"; then continue; fi
  fi
  failed+=("$t")
done
if ((${#failed[@]})); then
  echo "ThreadSanitizer run failed: ${failed[*]}" >&2
  exit 1
fi
echo "ThreadSanitizer run passed: ${targets[*]}"
