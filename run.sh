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

# The tool starts in the demo's folder of sample description files, so Install opens there.
cd examples/descriptions
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$tool"
fi

title="Corvelan DTM Update Tool - V1.1"
xvfb-run -a -s "-screen 0 1024x480x24" bash -c '
  tool=$1 shots=$2 title=$3
  "$tool" & pid=$!
  find_window() {
    for _ in $(seq 100); do
      xdotool search --name "^$1\$" 2>/dev/null | head -1 | grep . && return 0
      sleep 0.1
    done
    return 1
  }
  main=$(find_window "$title")
  sleep 0.5
  import -window "$main" "$shots/screenshot-main-window.png"
  xdotool mousemove --window "$main" 120 300 click 1   # Install
  files=$(find_window "File Open")
  xdotool windowmove "$files" 545 0
  sleep 0.5
  import -window root -crop 1024x350+0+0 "$shots/screenshot-both-windows.png"
  kill "$pid"; wait "$pid" 2>/dev/null || true
' _ "$tool" "$build" "$title"
echo "No display: ran the tool under Xvfb. Screenshots:"
echo "  $build/screenshot-main-window.png"
echo "  $build/screenshot-both-windows.png"
