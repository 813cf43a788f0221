#!/usr/bin/env bash
# dialogs.sh BUILD_DIR OUT_DIR: pictures of every window and dialog of the program at scale 1 and 2
# (OUT_DIR/1x, OUT_DIR/2x), on a virtual display with a window manager, so that they show the title bars
# too. Needs Xvfb and openbox.
set -euo pipefail
build=$(realpath "${1:?build directory}")
out=$(realpath -m "${2:?output directory}")
resources=$(realpath "$(dirname "$0")/../../resources")

fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp 3>"$fifo" &
xvfb=$!
read -r number <"$fifo"
rm -f "$fifo"
export DISPLAY=":$number"
openbox &
wm=$!
trap 'kill "$wm" "$xvfb" 2>/dev/null || true' EXIT
# The window manager is up when it has claimed the screen.
for _ in $(seq 50); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.1
done

for scale in 1 2; do
  QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale \
    "$build/tools/make-screenshots" "$out/${scale}x" "$resources" --all
done
echo "$out/1x $out/2x"
