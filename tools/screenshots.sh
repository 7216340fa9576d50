#!/bin/bash
# Pictures of the viewer's windows and the console windows it reaches, under
# Xvfb with a window manager (openbox), at 1366x768 and at QT_SCALE_FACTOR=2:
#   tools/screenshots.sh BUILD_DIR OUT_DIR
# Needs Xvfb, openbox and ImageMagick's import.
set -euo pipefail
build=$(cd "$1" && pwd)
out=$(mkdir -p "$2" && cd "$2" && pwd)
src=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$scratch"' EXIT
mkdir -p "$scratch/home" "$scratch/queue" "$scratch/temp" "$scratch/config"
cp "$build/bin/KEL.LNG" "$scratch/home/"
printf 'QUEUE_PATH=%s\r\nPRINT_KEL=Y\r\nPRINT_KEZ=Y\r\nPRINT_TXT=Y\r\n' "$scratch/queue" \
  > "$scratch/home/KEL.INI"
printf '[HEADER]\r\n[DATA]\r\nwaiting\r\n' > "$scratch/queue/held.ke"
display=:$((70 + RANDOM % 20))
Xvfb "$display" -screen 0 1366x768x24 -nolisten tcp &
sleep 1
DISPLAY=$display openbox &
sleep 1
for scale in 1 2; do
  mkdir -p "$out/scale$scale"
  # CUPS pointed at a closed port: the print dialog says there is no print
  # system.
  DISPLAY=$display CUPS_SERVER=127.0.0.1:9 QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale KEL_HOME="$scratch/home" \
    TEMP="$scratch/temp" XDG_CONFIG_HOME="$scratch/config" \
    "$build/bin/viewer_screens" "$src/data/samples/sample.kel" "$out/scale$scale"
done
