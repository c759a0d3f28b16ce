#!/usr/bin/env bash
# Takes docs/screenshot.png: the main window on a virtual X display (Xvfb),
# against the bundled demo site, after one search so that results are listed.
# Installs its own extra packages (ImageMagick for `import`, xdotool for the
# click) when missing.
#   bash scripts/screenshot.sh [build-dir]
# Without a build directory the default preset is configured and built.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
extra=()
command -v import >/dev/null 2>&1 || extra+=(imagemagick)
command -v xdotool >/dev/null 2>&1 || extra+=(xdotool)
if ((${#extra[@]} > 0)); then
  if [ "$(id -u)" -ne 0 ]; then sudo=sudo; else sudo=; fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${extra[@]}"
fi

bin=${1:-}
if [ -z "$bin" ]; then
  bin=build/default
  cmake --preset default
  cmake --build --preset default --target quillmoss quillmoss-demo-site
fi
port=$(sed -n 's/^QUILLMOSS_DEMO_PORT:STRING=//p' "$bin/CMakeCache.txt")
port=${port:-47810}

pids=()
cleanup() { for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done; }
trap cleanup EXIT

display_number=90
while [ -e "/tmp/.X11-unix/X$display_number" ] || [ -e "/tmp/.X$display_number-lock" ]; do
  display_number=$((display_number + 1))
done
export DISPLAY=:$display_number
Xvfb "$DISPLAY" -screen 0 1024x768x24 -dpi 96 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

if [ -x "$bin/tools/demo-site/quillmoss-demo-site" ]; then
  "$bin/tools/demo-site/quillmoss-demo-site" --port "$port" >/dev/null 2>&1 &
  pids+=($!)
fi
"$bin/src/app/quillmoss" &
pids+=($!)

window=
for _ in $(seq 100); do
  window=$(xwininfo -root -tree 2>/dev/null | awk '/"Quillmoss /{print $1; exit}')
  [ -n "$window" ] && break
  sleep 0.1
done
if [ -z "$window" ]; then
  echo "screenshot: the window did not appear" >&2
  exit 1
fi
sleep 1  # let the first paint and the skin settle
if [ -x "$bin/tools/demo-site/quillmoss-demo-site" ]; then
  # An empty keyword lists everything the demo site holds.
  xdotool mousemove --window "$window" 548 17 click 1
  sleep 2
  xdotool mousemove --window "$window" 300 400  # off the buttons, so none is drawn hovered
  sleep 0.5
fi
mkdir -p docs
import -display "$DISPLAY" -window "$window" docs/screenshot.png
echo "screenshot: wrote docs/screenshot.png"
