#!/usr/bin/env bash
# Installs what is missing, builds (incrementally) in build/ and starts the
# station on the simulated camera. Extra arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j 2

bin=build/bin
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$bin/Calidra" ]; then
  exec "$bin/Calidra" "$@"
fi
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting the station without windows (calidra-headless)." >&2
fi
if [ -x "$bin/calidra-headless" ]; then
  exec "$bin/calidra-headless" "$@"
fi
# Until the station programs exist, the best there is: the camera check.
echo "Neither $bin/Calidra nor $bin/calidra-headless exists yet: running the camera check." >&2
exec "$bin/camera-probe" "$@"
