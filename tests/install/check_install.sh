#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and checks the tree, then starts the installed
# tool through its bin/ link on the offscreen platform and ends it as a logout would.
#   check_install.sh <build folder> <source folder>
set -euo pipefail
build=$1
source=$2
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$scratch/root" cmake --install "$build" --prefix /usr >/dev/null
usr="$scratch/root/usr"
app="$usr/lib/corvelan-dtm-update-tool"

# Every file in place, and nothing else.
expected="bin/corvelan-dtm-cli
bin/corvelan-dtm-update-tool
lib/corvelan-dtm-update-tool/QVXTSR7700.jpg
lib/corvelan-dtm-update-tool/QVXTSR7700Large.ico
lib/corvelan-dtm-update-tool/QVXTSR7700Small.ico
lib/corvelan-dtm-update-tool/corvelan-dtm-cli
lib/corvelan-dtm-update-tool/corvelan-dtm-update-tool
lib/corvelan-dtm-update-tool/corvelan.ico
lib/corvelan-dtm-update-tool/corvelan.jpg
share/applications/corvelan-dtm-update-tool.desktop
share/doc/corvelan-dtm-update-tool/changelog.gz
share/doc/corvelan-dtm-update-tool/copyright
share/icons/hicolor/128x128/apps/corvelan-dtm-update-tool.png
share/icons/hicolor/256x256/apps/corvelan-dtm-update-tool.png
share/icons/hicolor/48x48/apps/corvelan-dtm-update-tool.png
share/man/man1/corvelan-dtm-cli.1.gz
share/man/man1/corvelan-dtm-update-tool.1.gz"
actual="$(cd "$usr" && find . \( -type f -o -type l \) | sed 's|^\./||' | LC_ALL=C sort)"
[ "$actual" = "$(echo "$expected" | LC_ALL=C sort)" ] || fail "installed tree differs:
$actual"

for picture in corvelan.ico corvelan.jpg QVXTSR7700.jpg QVXTSR7700Large.ico QVXTSR7700Small.ico; do
  cmp -s "$source/assets/pictures/$picture" "$app/$picture" || fail "$picture differs"
done
[ -L "$usr/bin/corvelan-dtm-update-tool" ] || fail "bin/ holds no link"
[ "$(readlink -f "$usr/bin/corvelan-dtm-update-tool")" = "$(readlink -f "$app/corvelan-dtm-update-tool")" ] ||
  fail "the bin/ link does not lead to the folder with the pictures"
[ -x "$app/corvelan-dtm-update-tool" ] || fail "the tool is not executable"
desktop-file-validate "$usr/share/applications/corvelan-dtm-update-tool.desktop" ||
  fail "the desktop entry is not valid"
gzip -dc "$usr/share/man/man1/corvelan-dtm-update-tool.1.gz" | grep -q '^\.SH FILES' ||
  fail "the manual page holds no FILES section"

# Start it through the link against a Wine prefix with a repository, then end it with SIGTERM.
prefix="$scratch/prefix"
repository="$prefix/drive_c/ProgramData/Schneider Electric/PTK Generic DTM/DDXMLRepository"
mkdir -p "$repository/pictures" "$scratch/runtime"
chmod 700 "$scratch/runtime"
printf '<DDXMLRepository>\r\n</DDXMLRepository>\r\n' >"$repository/DDXMLRepository.xml"
WINEPREFIX="$prefix" QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$scratch/runtime" \
  "$usr/bin/corvelan-dtm-update-tool" >"$scratch/out.txt" 2>"$scratch/err.txt" &
pid=$!
sleep 2
kill -0 "$pid" 2>/dev/null || fail "the tool did not stay up: $(cat "$scratch/err.txt")"
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] || fail "the tool ended with status $status"
[ ! -s "$scratch/err.txt" ] || fail "the tool wrote errors: $(cat "$scratch/err.txt")"
# The command line through its link: the pictures beside it, the listing of the prefix.
WINEPREFIX="$prefix" "$usr/bin/corvelan-dtm-cli" list >"$scratch/list.txt" ||
  fail "the installed command line did not list the repository"
[ ! -s "$scratch/list.txt" ] || fail "an empty catalogue listed lines: $(cat "$scratch/list.txt")"
WINEPREFIX="$prefix" "$usr/bin/corvelan-dtm-cli" --version | head -1 |
  grep -qF "corvelan-dtm-cli ${CORVELAN_VERSION:?} (commit " ||
  fail "the installed command line has another version"
echo "installed tree, pictures, links, desktop entry, start-up and command line as expected"
