#!/usr/bin/env bash
# Runs every benchmark of bench/ (executables named bench_*).
set -euo pipefail
bin="${1:-build}/bin"
shopt -s nullglob
found=0
for b in "$bin"/bench_*; do
  found=1
  echo "== $(basename "$b")"
  "$b"
done
[ $found -eq 1 ] || echo "no benchmarks built"
