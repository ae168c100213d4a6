#!/usr/bin/env bash
# Checks every C and C++ file in the tree against .clang-format and lists the
# places that differ; exits non-zero when there is one. With --fix it
# rewrites the files instead. The files are the ones git tracks, so build
# folders and generated sources are never looked at.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.c')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
if ! out=$(clang-format --dry-run --Werror "${files[@]}" 2>&1); then
  printf '%s\n' "$out" | grep -E '^[^ ].*: (error|warning):' | head -50
  count=$(printf '%s\n' "$out" | grep -cE ': (error|warning):' || true)
  echo "clang-format: $count places differ; run scripts/check-format.sh --fix"
  exit 1
fi
echo "clang-format: ${#files[@]} files as .clang-format says"
