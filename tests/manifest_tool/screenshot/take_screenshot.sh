#!/usr/bin/env bash
# Takes a screenshot of relmint under Xvfb with a scanned sample tree and some
# marks: scripts/install_deps.sh, then a build of the relmint and
# relmint_screen_grab targets. With FILES, the tree is a generated client
# tree of that many files (bench/relmint/generate_tree.py) with the same kind
# of marks.
# Usage: take_screenshot.sh BUILD_DIR OUT.png [FILES]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "$1")
out=$(realpath -m "$2")
files=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

src="$work/client"
mkdir -p "$src/res/ui" "$src/res/sound" "$src/logs" "$src/config"
if [ -n "$files" ]; then
  python3 "$here/../../../bench/relmint/generate_tree.py" --nested "$src/Res" "$files" >/dev/null
fi
for f in game.exe libcocos2d.dll config.xml res/ui/main.png res/ui/main.plist res/ui/font.fnt \
         res/ui/Login.ExportJson res/ui/bg.pvr.ccz res/sound/click.wav res/sound/bgm.mp3 \
         logs/today.json config/server.json; do
  head -c $((RANDOM % 4096 + 1)) /dev/urandom > "$src/$f"
done
echo "not listed" > "$src/notes.txt"

ignores=("$src/logs" "$src/libcocos2d.dll")
zips=("$src/res/ui" "$src/config.xml")
if [ -n "$files" ]; then
  ignores+=("$src/Res/Res01")
  zips+=("$src/Res/Res00/pack00")
fi
mark_array() {
  local name=$1 i=0
  shift
  echo "[$name]"
  for path in "$@"; do i=$((i + 1)); echo "$i\\name=$path"; done
  echo "size=$i"
}
{
  printf '[General]\nloadfrom=%s\nsaveto=%s\nversion=1024\nzipfile=update.zip\n\n' "$src" "$work/out"
  mark_array ignores "${ignores[@]}"
  echo
  mark_array zips "${zips[@]}"
} > "$work/demo.ini"

# An empty working directory: the window's first scan is of it.
mkdir "$work/cwd"
cd "$work/cwd"
# A window manager, so that the window opens maximised as on a desktop.
xvfb-run -a -s '-screen 0 1280x800x24' bash -c "
  matchbox-window-manager -use_titlebar no &
  sleep 1
  '$build/bin/relmint' '$work/demo.ini' &
  app=\$!
  sleep $([ -n "$files" ] && echo 8 || echo 3)
  '$build/bin/relmint_screen_grab' '$out'
  kill \$app
"
echo "$out"
