#!/usr/bin/env bash
# Nothing above the platform layer knows which OS it runs on. Fails, naming each file and line,
# when a C++ file outside src/platform/ includes an operating system's header or tests which OS
# it is built for (_WIN32, __linux__, ...).
#
# The one exception is the Win32 toolkit: src/ui/win32/ draws the windows with windows.h and
# commctrl.h as src/ui/qt/ draws them with Qt. Tests of one host live in a posix/ or win32/
# folder, as the platform's own variants do, and may use that host's headers.
set -euo pipefail
cd "$(dirname "$0")/.."

os_headers='unistd|fcntl|dirent|dlfcn|pwd|grp|poll|spawn|termios|iconv|sys/[a-z_/]+'
os_headers+='|windows|winbase|winnt|winuser|psapi|shlobj|shellapi|commctrl|io|direct|process'
include_pattern="^[[:space:]]*#[[:space:]]*include[[:space:]]*<($os_headers)\\.h>"
macro_pattern='\b(_WIN32|_WIN64|__linux__|__unix__|__APPLE__)\b'

failures=0
while IFS= read -r file; do
  case "$file" in
  src/platform/* | tests/*/posix/* | tests/*/win32/*) continue ;;
  esac
  allowed='$^' # nothing
  case "$file" in
  src/ui/win32/*) allowed='^[[:space:]]*#[[:space:]]*include[[:space:]]*<(windows|commctrl)\.h>' ;;
  esac
  while IFS= read -r hit; do
    line="${hit#*:}"
    if grep -Eq "$allowed" <<<"$line"; then continue; fi
    echo "$file:$hit" >&2
    failures=$((failures + 1))
  done < <(grep -nE "$include_pattern|$macro_pattern" "$file" || true)
done < <(git ls-files -- '*.cpp' '*.h')

if [ "$failures" -gt 0 ]; then
  echo "OS code above the platform layer in $failures place(s): move it into src/platform/" >&2
  exit 1
fi
echo "portability: no OS header and no OS test outside src/platform/ (and the Win32 windows)"
