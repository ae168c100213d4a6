#!/usr/bin/env bash
# Starts the most complete program the build has.
set -euo pipefail
bin="${1:-build}/bin"
if [ -x "$bin/quor" ]; then
  exec "$bin/quor"
elif [ -x "$bin/quor-convert" ]; then
  echo "The windows program is not built yet; the command-line converter is:"
  exec "$bin/quor-convert" --help
else
  echo "Built so far:"
  ls "$bin"
fi
