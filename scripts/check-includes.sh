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

bad=0
while IFS= read -r hit; do
  file=${hit%%:*}
  target=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"$hit")
  from=${file%%/*}
  to=${target%%/*}
  [ -n "${allowed[$from]+set}" ] || continue  # not one of our folders
  # quor-play, a program, also takes the signal watch of the platform.
  [[ $file == player/tool/* ]] && from=player/tool
  if [ "$from" = "$to" ] && { [ "$from" = engine ] || [ "$from" = gui ]; }; then
    from=$(cut -d/ -f1,2 <<<"$file")
    to=$(cut -d/ -f1,2 <<<"$target")
  fi
  [ -n "${allowed[$to]+set}" ] || continue  # a system or test header
  [ "$from" = "$to" ] && continue
  case " ${allowed[$from]} " in
    *" $to "*) ;;
    *) echo "$hit: $from may not include $to"; bad=1 ;;
  esac
done < <(grep -rnE '^\s*#\s*include "' --include='*.h' --include='*.cpp' --include='*.c' . | sed 's|^\./||')
exit $bad
