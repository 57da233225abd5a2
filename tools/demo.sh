#!/usr/bin/env bash
# Runs the program's main job against the virtual instrument, with whatever
# front end this build has: the window when it exists, else the CLI.
set -euo pipefail
BUILD="$1"; shift || true
if [ -x "$BUILD/velmora" ]; then
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    exec "$(dirname "$0")/demo-xvfb.sh" "$BUILD" "$@"
  fi
  exec "$BUILD/velmora" --demo "$@"
elif [ -x "$BUILD/velmora-cli" ] && [ -x "$BUILD/velmora-sim" ]; then
  exec "$(dirname "$0")/demo-cli.sh" "$BUILD" "$@"
elif [ -x "$BUILD/velmora-sim" ]; then
  echo "demo: only the virtual instrument is built yet; its options:"
  exec "$BUILD/velmora-sim" --help
else
  echo "demo: nothing to run yet: the core library and its tests are all this build has."
  echo "demo: run ./run test to see the frame codec, event log and definition loader at work."
  exit 0
fi
