#!/usr/bin/env bash
# Builds the tool and starts it on the repository of the Wine prefix ($WINEPREFIX, else ~/.wine),
# or on a demo repository made from examples/ when that prefix has none. Without a display the
# tool runs under Xvfb, a screenshot of its window is saved, and the tool is ended.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh

cmake --preset release >/dev/null
cmake --build --preset release
build="$PWD/build/release"
tool="$build/corvelan-dtm-update-tool"

prefix="${WINEPREFIX:-$HOME/.wine}"
if ! scripts/has-repository.sh "$prefix"; then
  prefix="$build/demo-prefix"
  scripts/make-demo-prefix.sh "$prefix"
  echo "No repository in ${WINEPREFIX:-$HOME/.wine}; using the demo prefix $prefix" >&2
fi
export WINEPREFIX="$prefix"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$tool"
fi

shot="$build/screenshot-main-window.png"
title="Corvelan DTM Update Tool - V1.1"
xvfb-run -a -s "-screen 0 800x600x24" bash -c '
  "$1" & pid=$!
  for _ in $(seq 50); do xwininfo -name "$3" >/dev/null 2>&1 && break; sleep 0.1; done
  sleep 0.5
  import -window "$3" "$2"
  kill "$pid"; wait "$pid" 2>/dev/null || true
' _ "$tool" "$shot" "$title"
echo "No display: ran the tool under Xvfb; screenshot of the main window: $shot"
