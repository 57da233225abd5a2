#!/usr/bin/env bash
# A picture of every page of the window against the virtual instrument, for
# the README and for support:  tools/screenshots.sh BUILD_DIR [PAGE...]
# Each page gets a fresh program folder, so no page sees another's settings.
# Pictures go to docs/pages/pageN.png (and search.png, the search dialog,
# and traffic.png, the traffic monitor, when every page is drawn).
# VELMORA_SHOT_SECONDS sets how long each window stays up (default 7; the
# picture is taken half-way).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="$(cd "${1:?usage: screenshots.sh BUILD_DIR [PAGE...]}" && pwd)"
shift
PAGES=("$@")
ALL=0
[ ${#PAGES[@]} -gt 0 ] || { ALL=1; PAGES=(0 1 2 4 5 6 7 8 9 11 12 13); }
SHOWN="${VELMORA_SHOT_SECONDS:-7}"
OUT="$ROOT/docs/pages"
mkdir -p "$OUT"

if command -v xvfb-run >/dev/null 2>&1; then
  RUN=(xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb)
else
  echo "screenshots: xvfb-run is missing, drawing offscreen (no window frame)" >&2
  RUN=(env QT_QPA_PLATFORM=offscreen)
fi

SCRATCH="$(mktemp -d)"
trap 'rm -rf "$SCRATCH"' EXIT
failed=0
for n in "${PAGES[@]}"; do
  home="$SCRATCH/page$n"
  mkdir -p "$home"
  for dir in Config lang; do
    [ -d "$BUILD/$dir" ] && cp -r "$BUILD/$dir" "$home/"
  done
  shot="$OUT/page$n.png"
  rm -f "$shot"
  "${RUN[@]}" "$BUILD/velmora" --home "$home" --demo --page "$n" \
    --screenshot "$shot" --quit-after "$SHOWN" >"$home/run.log" 2>&1 || true
  if [ -s "$shot" ]; then
    echo "screenshots: page $n -> docs/pages/page$n.png"
  else
    echo "screenshots: page $n: no picture; the run said:" >&2
    cat "$home/run.log" >&2
    failed=1
  fi
done
# The search dialog with the two instruments of a simulated bus, drawn by
# the test that finds them (offscreen: the dialog alone).
if [ "$ALL" = 1 ] && [ -x "$BUILD/tests/tst_search" ]; then
  rm -f "$OUT/search.png"
  VELMORA_SHOT_DIR="$OUT" QT_QPA_PLATFORM=offscreen "$BUILD/tests/tst_search" \
    bothInstrumentsKeepTheirPanels >"$SCRATCH/search.log" 2>&1 || true
  if [ -s "$OUT/search.png" ]; then
    echo "screenshots: search dialog -> docs/pages/search.png"
  else
    echo "screenshots: search dialog: no picture; the test said:" >&2
    cat "$SCRATCH/search.log" >&2
    failed=1
  fi
fi
# The traffic monitor during a session with damaged replies and a refused
# write, drawn by its test (offscreen: the window alone).
if [ "$ALL" = 1 ] && [ -x "$BUILD/tests/tst_trafficwindow" ]; then
  rm -f "$OUT/traffic.png"
  VELMORA_SHOT_DIR="$OUT" QT_QPA_PLATFORM=offscreen "$BUILD/tests/tst_trafficwindow" \
    >"$SCRATCH/traffic.log" 2>&1 || true
  if [ -s "$OUT/traffic.png" ]; then
    echo "screenshots: traffic monitor -> docs/pages/traffic.png"
  else
    echo "screenshots: traffic monitor: no picture; the test said:" >&2
    cat "$SCRATCH/traffic.log" >&2
    failed=1
  fi
fi
exit $failed
