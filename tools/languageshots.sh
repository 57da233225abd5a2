#!/usr/bin/env bash
# Pictures of the compact window and the calibration page in each language
# named, against the virtual instrument:
#   tools/languageshots.sh BUILD_DIR LANGUAGE...   (e.g. build Italiano Deutsch)
# They go to docs/languages/<LANGUAGE>-compact.png and -calibration.png.
# VELMORA_SHOT_SECONDS sets how long each window stays up (default 7).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="$(cd "${1:?usage: languageshots.sh BUILD_DIR LANGUAGE...}" && pwd)"
shift
[ $# -gt 0 ] || { echo "languageshots: name at least one language" >&2; exit 2; }
SHOWN="${VELMORA_SHOT_SECONDS:-7}"
OUT="$ROOT/docs/languages"
mkdir -p "$OUT"
if command -v xvfb-run >/dev/null 2>&1; then
  RUN=(xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb)
else
  RUN=(env QT_QPA_PLATFORM=offscreen)
fi
SCRATCH="$(mktemp -d)"
trap 'rm -rf "$SCRATCH"' EXIT
failed=0
for lang in "$@"; do
  if [ ! -f "$BUILD/$lang.lng" ]; then
    echo "languageshots: no $lang.lng in $BUILD" >&2
    failed=1
    continue
  fi
  for shot in compact:0 calibration:1; do
    name="${shot%%:*}"
    page="${shot##*:}"
    home="$SCRATCH/$lang-$name"
    mkdir -p "$home"
    cp -r "$BUILD/Config" "$home/"
    cp "$BUILD"/*.lng "$BUILD"/*.bmp "$home/"
    # The settings file's fourteen lines, the language on line 3.
    printf '%s\r\n' NO 19200 "$lang" 40 60 0 1 "" "" "" 15389113 1000 0 1000 >"$home/ISetup.dat"
    file="$OUT/$lang-$name.png"
    rm -f "$file"
    "${RUN[@]}" "$BUILD/velmora" --home "$home" --demo --page "$page" \
      --screenshot "$file" --quit-after "$SHOWN" >"$home/run.log" 2>&1 || true
    if [ -s "$file" ]; then
      echo "languageshots: $lang $name -> docs/languages/$lang-$name.png"
    else
      echo "languageshots: $lang $name: no picture" >&2
      sed 's/^/  /' "$home/run.log" >&2
      failed=1
    fi
  done
done
exit $failed
