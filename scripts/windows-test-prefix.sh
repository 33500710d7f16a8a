#!/usr/bin/env bash
# Prepares the Wine prefix the Windows tests run in, build/windows/wine-prefix, and starts a
# persistent wineserver for it: `start` (the default) or `stop`. As root the prefix belongs to the
# unprivileged user "nobody", so that read-only files hold under Wine as they do on Windows.
# ~/.wine is never touched.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/windows"
prefix="$build/wine-prefix"
home="$build/wine-home"
user="$(id -un)"
# As root the tests run as "nobody", when "nobody" can reach the build; otherwise as root, where
# Wine ignores read-only files (the tool's own read-only checks still hold).
if [ "$(id -u)" -eq 0 ]; then
  if [ -d "$prefix" ]; then
    user="$(stat -c %U "$prefix")"
  elif runuser -u nobody -- test -r "$build/CMakeCache.txt" 2>/dev/null; then
    user=nobody
  else
    echo "note: nobody cannot reach $build; the Windows tests run as root" >&2
  fi
fi

as_test_user() {
  local env=(WINEPREFIX="$prefix" HOME="$home" WINEDEBUG=-all WINEDLLOVERRIDES=winemenubuilder.exe=d)
  if [ "$(id -u)" -eq 0 ] && [ "$user" != root ]; then
    runuser -u "$user" -- env "${env[@]}" "$@"
  else
    env "${env[@]}" "$@"
  fi
}

if [ "${1:-start}" = stop ]; then
  [ -d "$prefix" ] && as_test_user /usr/lib/wine/wineserver64 -k 2>/dev/null || true
  exit 0
fi

mkdir -p "$prefix" "$home"
[ "$(id -u)" -eq 0 ] && chown "$user" "$prefix" "$home"
# Wine's own chatter goes to a log, shown only when a step fails.
log="$build/wine-prefix.log"
quietly() {
  "$@" </dev/null >>"$log" 2>&1 || { cat "$log" >&2; echo "failed: $*" >&2; exit 1; }
}
: >"$log"
# A server left from an earlier prefix at this path would serve a prefix that is gone.
as_test_user /usr/lib/wine/wineserver64 -k >/dev/null 2>&1 || true
if [ ! -f "$prefix/system.reg" ]; then
  echo "Making the Wine prefix for the Windows tests (once): $prefix" >&2
  quietly as_test_user /usr/lib/wine/wine64 wineboot --init
  # Without a display Wine's null graphics driver takes over, so windows work headless.
  quietly as_test_user /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Drivers' /v Graphics \
    /d x11,null /f
  # The desktop process the first boot started knows no driver yet: it goes with its server.
  quietly as_test_user /usr/lib/wine/wineserver64 -k
  as_test_user /usr/lib/wine/wineserver64 -w >/dev/null 2>&1 || true
fi
# A repository's way through a folder of another Unix user (root), open to everyone, for the test
# of an elevated run that must not change it: only root can make one.
foreign="$prefix/drive_c/corvelan-foreign/drive_c/ProgramData"
if [ "$(id -u)" -eq 0 ] && [ "$user" != root ]; then
  mkdir -p "$foreign/Schneider Electric"
  chown "$user" "$prefix/drive_c/corvelan-foreign" "$prefix/drive_c/corvelan-foreign/drive_c" \
    "$foreign"
  chown root "$foreign/Schneider Electric"
  chmod 0777 "$foreign/Schneider Electric"
fi
# A persistent server, warmed up, so that no test's output pipe is held by Wine's services.
quietly as_test_user /usr/lib/wine/wineserver64 -p
quietly as_test_user /usr/lib/wine/wine64 wineboot
