#!/usr/bin/env bash
# Takes a screenshot of relmint under Xvfb with a scanned sample tree and some
# marks: scripts/install_deps.sh, then a build of the relmint and
# relmint_screen_grab targets.
# Usage: take_screenshot.sh BUILD_DIR OUT.png
set -euo pipefail
build=$(realpath "$1")
out=$(realpath -m "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

src="$work/client"
mkdir -p "$src/res/ui" "$src/res/sound" "$src/logs" "$src/config"
for f in game.exe libcocos2d.dll config.xml res/ui/main.png res/ui/main.plist res/ui/font.fnt \
         res/ui/Login.ExportJson res/ui/bg.pvr.ccz res/sound/click.wav res/sound/bgm.mp3 \
         logs/today.json config/server.json; do
  head -c $((RANDOM % 4096 + 1)) /dev/urandom > "$src/$f"
done
echo "not listed" > "$src/notes.txt"

cat > "$work/demo.ini" <<INI
[General]
loadfrom=$src
saveto=$work/out
version=1024
zipfile=update.zip

[ignores]
1\\name=$src/logs
2\\name=$src/libcocos2d.dll
size=2

[zips]
1\\name=$src/res/ui
2\\name=$src/config.xml
size=2
INI

cd "$work"
# A window manager, so that the window opens maximised as on a desktop.
xvfb-run -a -s '-screen 0 1280x800x24' bash -c "
  matchbox-window-manager -use_titlebar no &
  sleep 1
  '$build/bin/relmint' '$work/demo.ini' &
  app=\$!
  sleep 3
  '$build/bin/relmint_screen_grab' '$out'
  kill \$app
"
echo "$out"
