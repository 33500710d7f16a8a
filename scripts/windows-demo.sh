#!/usr/bin/env bash
# The Windows demo: builds the Windows flavour, makes a Wine prefix under build/windows whose
# drive c: holds the demo repository of examples/, and starts the tool there, in the folder of
# sample description files, so Install opens there. With a display the tool just runs. Without
# one it runs in a Wine virtual desktop under Xvfb, Install is pressed, a screenshot of both
# windows is saved as build/windows/screenshot-both-windows.png, and the tool is ended.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
scripts/install-deps.sh
scripts/windows-sysroot.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target corvelan-dtm-update-tool
build="$root/build/windows"
tool="$build/corvelan-dtm-update-tool.exe"

export WINEPREFIX="$build/demo-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d"
export HOME="$build/demo-home"
mkdir -p "$WINEPREFIX" "$HOME"
log="$build/demo-wine.log"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Making the demo prefix (once): $WINEPREFIX" >&2
  /usr/lib/wine/wine64 wineboot --init </dev/null >"$log" 2>&1
  # Debian's Wine does not load its own fonts: without these, title bars show letters.
  cp /usr/share/wine/fonts/marlett.ttf /usr/share/wine/fonts/tahoma*.ttf \
    "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
fi
scripts/make-demo-prefix.sh "$WINEPREFIX"

cd examples/descriptions
if [ -n "${DISPLAY:-}" ]; then
  exec /usr/lib/wine/wine64 "$tool"
fi

xvfb-run -a -s "-screen 0 1024x480x24" bash -c '
  tool=$1 shot=$2 log=$3
  /usr/lib/wine/wine64 explorer /desktop=demo,1000x440 "$tool" >>"$log" 2>&1 & pid=$!
  for _ in $(seq 150); do
    desktop=$(xdotool search --name "demo - Wine desktop" 2>/dev/null | head -1) && [ -n "$desktop" ] && break
    sleep 0.2
  done
  sleep 3
  # The main window opens at the desktop'"'"'s top left: Install is at (123, 322) on the desktop.
  xdotool mousemove --window "$desktop" 123 322 click 1
  sleep 2
  # The file window opens at the same place; it is dragged aside by its title bar.
  xdotool mousemove --window "$desktop" 200 12 mousedown 1 mousemove --window "$desktop" 400 40 \
    mousemove --window "$desktop" 730 40 mouseup 1
  sleep 1
  import -window root -crop 1000x440+0+0 "$shot"
  /usr/lib/wine/wineserver64 -k; wait "$pid" 2>/dev/null || true
' _ "$tool" "$build/screenshot-both-windows.png" "$log"
echo "No display: ran the Windows tool in a Wine desktop under Xvfb. Screenshot:"
echo "  $build/screenshot-both-windows.png"
