#!/usr/bin/env bash
# Builds the threaded tests (log collector, converter component, conversion
# engine, player) with ThreadSanitizer and runs them.
set -euo pipefail
build="${1:-build-tsan}"
targets=(engine_test_logger engine_test_vcl engine_test_convert player_test_player player_test_parts)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUOR_TSAN=ON \
  -DQUOR_BUILD_BENCH=OFF > /dev/null
existing=()
for t in "${targets[@]}"; do
  if cmake --build "$build" --target help | grep -q "^$t:"; then existing+=("$t"); fi
done
cmake --build "$build" -j "${JOBS:-2}" --target "${existing[@]}"

export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp"
export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy
export QUOR_TEST_MEDIA_DIR="$PWD/$build/test-media"
failed=0
for t in "${existing[@]}"; do
  echo "== $t (ThreadSanitizer)"
  if ! "$build/bin/$t"; then failed=1; fi
done
exit $failed
