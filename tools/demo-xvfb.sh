#!/usr/bin/env bash
# Runs the window against the virtual instrument on a virtual display for a
# few seconds, keeps a picture of it next to the build and says where.
#   tools/demo-xvfb.sh BUILD_DIR [velmora options]
# VELMORA_DEMO_SECONDS sets how long the window stays up (default 8).
set -euo pipefail
BUILD="$(cd "${1:?usage: demo-xvfb.sh BUILD_DIR [velmora options]}" && pwd)"
shift
SHOWN="${VELMORA_DEMO_SECONDS:-8}"
SHOT="$BUILD/velmora-demo.png"

if ! command -v xvfb-run >/dev/null 2>&1; then
  echo "demo: xvfb-run is missing; install the packages xvfb and xauth" >&2
  exit 1
fi
rm -f "$SHOT"
echo "demo: running velmora --demo on a virtual display for ${SHOWN} s"
xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb \
  "$BUILD/velmora" --demo --screenshot "$SHOT" --quit-after "$SHOWN" "$@"
if [ -s "$SHOT" ]; then
  echo "demo: a picture of the window is in $SHOT"
else
  echo "demo: the window ran, but no picture was saved" >&2
  exit 1
fi
