#!/usr/bin/env bash
# Takes a PNG of every window in a representative state under a virtual X
# display: build/screenshots/<window>.png.
set -euo pipefail
build="${1:-build}"
out="$build/screenshots"
mkdir -p "$out"
export QUOR_TEST_MEDIA_DIR="${QUOR_TEST_MEDIA_DIR:-$PWD/$build/test-media}"
shift || true
if [ -n "${DISPLAY:-}" ] && [ -z "${QUOR_FORCE_XVFB:-}" ]; then
  exec "$build/bin/quor-screenshots" "$out" "$@"
fi
exec xvfb-run -a -s "-screen 0 1280x900x24" env QT_QPA_PLATFORM=xcb "$build/bin/quor-screenshots" "$out" "$@"
