#!/usr/bin/env bash
# Exits 0 when the Wine prefix $1 holds the host product's repository folder (any letter case).
set -euo pipefail
shopt -s nocaseglob nullglob
prefix="$1"
drive="$prefix/dosdevices/c:"
[ -e "$drive" ] || drive="$prefix/drive_c"
found=("$drive"/[p]rogramdata/[s]chneider\ electric/[p]tk\ generic\ dtm/[d]dxmlrepository/)
[ ${#found[@]} -gt 0 ]
