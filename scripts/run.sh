#!/usr/bin/env bash
# Installs what is missing, builds the tool and the bundled demo site, starts
# the demo site in the background and opens the tool against it. Where there
# is no display, a virtual one (Xvfb) is started and the script says so.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default
bin=build/default

targets=()
for target in quillmoss quillmoss-demo-site; do
  if ninja -C "$bin" -t targets all 2>/dev/null | grep -q "^$target:"; then
    targets+=("$target")
  else
    echo "run: the build has no target $target yet" >&2
  fi
done
if ((${#targets[@]} > 0)); then cmake --build --preset default --target "${targets[@]}"; fi
if ((${#targets[@]} < 2)); then
  echo "run: built what exists; stopping here" >&2
  exit 1
fi

port=$(sed -n 's/^QUILLMOSS_DEMO_PORT:STRING=//p' "$bin/CMakeCache.txt")
port=${port:-47810}

# Only what this script started is stopped when the tool exits.
pids=()
cleanup() { for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done; }
trap cleanup EXIT

"$bin/tools/demo-site/quillmoss-demo-site" --port "$port" &
pids+=($!)
for _ in $(seq 50); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.1
done

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  number=47
  while [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ]; do number=$((number + 1)); done
  display=:$number
  Xvfb "$display" -screen 0 1024x768x24 -dpi 96 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  export DISPLAY=$display
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  echo "run: no display here, so the window opens on the virtual display $display (Xvfb)."
  echo "run: look at it from another shell, e.g. 'DISPLAY=$display import -window root shot.png'"
  echo "run: (ImageMagick), or take docs/screenshot.png with 'bash scripts/screenshot.sh'."
fi

echo "run: starting Quillmoss against the demo site on 127.0.0.1:$port"
"$bin/src/app/quillmoss"
