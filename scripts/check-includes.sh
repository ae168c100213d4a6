#!/usr/bin/env bash
# Fails when a folder of src/ includes a folder above it: each folder may
# include itself and the folders listed for it here, nothing else. The
# engine's own folders are layered the same way, and so are the windows'
# (plumbing, widgets, windows, the program: widgets never include a window).
# Usage: check-includes.sh [source-root]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}/src"

declare -A allowed=(
  [platform]=""
  [engine]="platform"
  [player]="engine"
  [player/tool]="player engine platform"
  [profiles]="platform"
  [controls]=""
  [editing]="engine"
  [app]="editing profiles platform player engine"
  [gui]="app player controls editing profiles platform engine"
  [cli]="app editing profiles platform engine"
  [engine/common]=""
  [engine/libav]="engine/common"
  [engine/probe]="engine/libav engine/common"
  [engine/options]="engine/libav engine/common"
  [engine/convert]="engine/options engine/libav engine/common"
  [engine/component]="engine/convert engine/options engine/probe engine/libav engine/common"
  [gui/common]=""
  [gui/widgets]="gui/common"
  [gui/windows]="gui/widgets gui/common"
  [gui/program]="gui/windows gui/widgets gui/common"
)

# One pass over every include line (a process per line took minutes on a
# loaded machine): the allowed table goes to awk as "folder=list" lines.
table=$(for k in "${!allowed[@]}"; do printf '%s=%s\n' "$k" "${allowed[$k]}"; done)
grep -rnE '^\s*#\s*include "' --include='*.h' --include='*.cpp' --include='*.c' . |
  sed 's|^\./||' |
  awk -v table="$table" '
    BEGIN {
      n = split(table, rows, "\n")
      for (i = 1; i <= n; i++) {
        eq = index(rows[i], "=")
        if (eq) allowed[substr(rows[i], 1, eq - 1)] = " " substr(rows[i], eq + 1) " "
      }
    }
    {
      hit = $0
      file = hit; sub(/:.*/, "", file)
      target = hit; sub(/^[^"]*"/, "", target); sub(/".*/, "", target)
      from = file; sub(/\/.*/, "", from)
      to = target; sub(/\/.*/, "", to)
      if (!(from in allowed)) next                 # not one of our folders
      # quor-play, a program, also takes the signal watch of the platform.
      if (file ~ /^player\/tool\//) from = "player/tool"
      if (from == to && (from == "engine" || from == "gui")) {
        split(file, f, "/"); split(target, t, "/")
        from = f[1] "/" f[2]; to = t[1] "/" t[2]
      }
      if (!(to in allowed)) next                   # a system or test header
      if (from == to) next
      if (index(allowed[from], " " to " ") == 0) {
        print hit ": " from " may not include " to
        bad = 1
      }
    }
    END { exit bad }'
