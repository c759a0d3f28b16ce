#!/usr/bin/env bash
# Installs what is missing, builds the tool and the bundled demo site, starts
# the demo site in the background and opens the tool against it. Where there
# is no display, a virtual one (Xvfb) is started and the script says so.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default
cmake --build --preset default --target quillmoss quillmoss-demo-site

bin=build/default
port=$(sed -n 's/^QUILLMOSS_DEMO_PORT:STRING=//p' "$bin/CMakeCache.txt")
port=${port:-47810}

pids=()
cleanup() { for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done; }
trap cleanup EXIT

"$bin/tools/demo-site/quillmoss-demo-site" --port "$port" &
pids+=($!)

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  display=:47
  Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  export DISPLAY=$display
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  echo "run: no display here, so the window opens on the virtual display $display (Xvfb)."
  echo "run: look at it with e.g. 'DISPLAY=$display xwd -root | convert xwd:- shot.png' from another shell."
fi

echo "run: starting Quillmoss against the demo site on 127.0.0.1:$port"
"$bin/src/app/quillmoss"
