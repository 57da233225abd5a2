#!/usr/bin/env bash
# The Debian package as a technician gets it: built with CPack from the
# built tree, checked with dpkg-deb (and lintian, desktop-file-validate and
# appstreamcli where they are installed), unpacked into a scratch root with
# dpkg -x and run there by an unprivileged user with a fresh HOME. The
# settings and the log must land in $XDG_DATA_HOME/velmora, nothing may be
# written into the install folder, and a second start reads the settings back.
#
#   test_package.sh BUILD_DIR SOURCE_DIR
# Exit 77 (skipped) where dpkg's tools are missing.
set -euo pipefail
BUILD=$(readlink -f "$1")
SRC=$(readlink -f "$2")
SKIP=77

# A package is built from a release tree. One built from a sanitizer build
# would ship instrumented binaries without the options the suite gives them,
# and the man pages are not rendered there: nothing it shows would be true of
# the package a technician installs.
for option in VELMORA_ASAN VELMORA_TSAN; do
  if grep -q "^$option:BOOL=ON" "$BUILD/CMakeCache.txt" 2>/dev/null; then
    echo "package test skipped: $BUILD is a sanitizer build ($option); the package is tried from a release build"
    exit $SKIP
  fi
done

for tool in cpack dpkg-deb dpkg-shlibdeps; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "package test skipped: $tool is not installed"
    exit $SKIP
  fi
done
# Root opens and writes anything; the program is tried as "nobody" then.
AS_USER=()
if [ "$(id -u)" -eq 0 ]; then
  if ! command -v setpriv >/dev/null 2>&1; then
    echo "package test skipped: running as root without setpriv"
    exit $SKIP
  fi
  AS_USER=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
fi

WORK=$(mktemp -d /tmp/velmora-package.XXXXXX)
chmod 755 "$WORK"
SIM_PID=""
cleanup() {
  if [ -n "$SIM_PID" ]; then kill "$SIM_PID" 2>/dev/null || true; wait "$SIM_PID" 2>/dev/null || true; fi
  # Nothing started from the scratch root may outlive the test.
  pkill -f "^$WORK/root/usr/bin/" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

FAILED=0
fail() { echo "FAIL: $*"; FAILED=1; }
check() { # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else fail "$what"; fi
}
step() { echo; echo "== $*"; }

step "cpack"
(cd "$BUILD" && cpack --config "$BUILD/CPackConfig.cmake" -B "$WORK/out") >"$WORK/cpack.log" 2>&1 ||
  { cat "$WORK/cpack.log"; echo "FAIL: cpack"; exit 1; }
DEB=$(ls "$WORK"/out/velmora_*.deb)
echo "$DEB"

step "dpkg-deb --info"
dpkg-deb --info "$DEB" | tee "$WORK/info"
field() { dpkg-deb --field "$DEB" "$1"; }
check "package name" test "$(field Package)" = velmora
check "version from the project" grep -q "^project(Velmora VERSION $(field Version) " "$SRC/CMakeLists.txt"
# dpkg-shlibdeps turned the linked libraries into Debian's package names.
for dep in libc6 libqt6core6 libqt6serialport6 libqt6widgets6 libqt6charts6; do
  check "depends on $dep" grep -Eq "(^|, )$dep( |,|$)" <<<"$(field Depends)"
done

step "dpkg-deb --contents"
dpkg-deb --contents "$DEB" >"$WORK/contents"
cat "$WORK/contents"
paths=$(awk '{print $6}' "$WORK/contents")
for p in ./usr/bin/velmora ./usr/bin/velmora-cli ./usr/bin/velmora-sim \
         ./usr/share/velmora/Config/DATV0000.def ./usr/share/velmora/Config/DATV1218.def \
         ./usr/share/applications/org.velmora.Velmora.desktop \
         ./usr/share/icons/hicolor/scalable/apps/org.velmora.Velmora.svg \
         ./usr/share/metainfo/org.velmora.Velmora.metainfo.xml \
         ./usr/share/man/man1/velmora.1.gz ./usr/share/man/man1/velmora-cli.1.gz \
         ./usr/share/man/man1/velmora-sim.1.gz \
         ./usr/share/bash-completion/completions/velmora-cli \
         ./usr/share/doc/velmora/copyright ./usr/share/doc/velmora/changelog.gz \
         ./usr/share/doc/velmora/OFL.txt; do
  grep -qxF "$p" <<<"$paths" || fail "missing from the package: $p"
done
# The language files and flags sit at the top of the shipped folder, where
# the Language menu looks for them; the manuals in Manual/.
for f in "$SRC"/languages/*.lng "$SRC"/languages/*.bmp; do
  [ -e "$f" ] || continue
  check "shipped $(basename "$f")" grep -qxF "./usr/share/velmora/$(basename "$f")" <<<"$paths"
done
for f in "$BUILD"/Manual/*.pdf; do
  [ -e "$f" ] || continue
  check "shipped manual $(basename "$f")" grep -qxF "./usr/share/velmora/Manual/$(basename "$f")" <<<"$paths"
done
for f in "$SRC"/Config/*; do
  grep -qxF "./usr/share/velmora/Config/$(basename "$f")" <<<"$paths" || fail "definition $(basename "$f") not packaged"
done
# The manuals folder whole, as the build renders it.
for d in "$BUILD/Manual"; do
  if [ -d "$d" ] && [ -n "$(ls -A "$d")" ]; then
    n=$(find "$d" -type f | wc -l)
    got=$(grep -c "^\./usr/share/velmora/$(basename "$d")/.*[^/]$" <<<"$paths" || true)
    check "$(basename "$d")/ packaged ($n files)" test "$got" -eq "$n"
  fi
done
check "everything under /usr" test -z "$(grep -v '^\./usr\(/\|$\)\|^\./$' <<<"$paths")"
check "owned by root" test -z "$(awk '$2 != "root/root"' "$WORK/contents")"

if command -v lintian >/dev/null 2>&1; then
  step "lintian"
  lintian --tag-display-limit 0 "$DEB" >"$WORK/lintian" 2>&1 || true
  cat "$WORK/lintian"
  check "lintian finds no errors" test -z "$(grep '^E:' "$WORK/lintian")"
  echo "lintian warnings: $(grep -c '^W:' "$WORK/lintian" || true)"
else
  echo "lintian not installed: not run"
fi

step "dpkg -x"
ROOT="$WORK/root"
dpkg -x "$DEB" "$ROOT"
chmod 755 "$ROOT"
if command -v desktop-file-validate >/dev/null 2>&1; then
  check "desktop entry valid" desktop-file-validate "$ROOT/usr/share/applications/org.velmora.Velmora.desktop"
fi
if command -v appstreamcli >/dev/null 2>&1; then
  check "metainfo valid" appstreamcli validate --no-net "$ROOT/usr/share/metainfo/org.velmora.Velmora.metainfo.xml"
fi
check "man pages name their program" bash -c \
  "for p in velmora velmora-cli velmora-sim; do zcat '$ROOT'/usr/share/man/man1/\$p.1.gz | grep -qi '^\.TH \"*'\$p; done"

# Every command and option that --help lists completes.
COMPLETION="$ROOT/usr/share/bash-completion/completions/velmora-cli"
check "completion parses" bash -n "$COMPLETION"
help=$("$ROOT/usr/bin/velmora-cli" --help)
commands=$(sed -n '/^Commands:/,/^$/p' <<<"$help" | awk 'NR > 1 && NF {print $1}')
words=$(grep -o -- '--[a-z-]*' <<<"$help" | sort -u)
for w in $commands $words; do
  grep -qw -- "$w" "$COMPLETION" || fail "completion lacks $w"
done
completes() { # completes "WORDS TYPED" EXPECTED
  local got
  got=$(bash -c '
    _init_completion() { words=("${COMP_WORDS[@]}"); cword=$COMP_CWORD; cur=${words[cword]}; prev=${words[cword-1]}; }
    _filedir() { :; }
    source "$1"; read -ra COMP_WORDS <<<"$2"; [[ $2 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _velmora_cli; echo "${COMPREPLY[*]}"' _ "$COMPLETION" "$1")
  [ "$got" = "$2" ] || { echo "completing \"$1\": got \"$got\", expected \"$2\""; return 1; }
}
check "completion: commands" completes "velmora-cli in" "info"
check "completion: after an option's value" completes "velmora-cli --port /dev/ttyUSB0 re" "read restore"
check "completion: a command's own options" completes "velmora-cli log w.csv --a" "--address --append"

step "installed program, unprivileged user, fresh HOME"
HOMEDIR="$WORK/home"
mkdir -p "$HOMEDIR" "$WORK/runtime"
chmod 700 "$WORK/runtime"
if [ ${#AS_USER[@]} -gt 0 ]; then chown 65534:65534 "$HOMEDIR" "$WORK/runtime"; fi
DATA="$HOMEDIR/.local/share/velmora"
user() {
  "${AS_USER[@]}" env -i HOME="$HOMEDIR" PATH=/usr/bin:/bin XDG_RUNTIME_DIR="$WORK/runtime" \
    QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 "$@"
}
snapshot() { find "$ROOT" -printf '%P %y %s %m %T@\n' | sort; }
snapshot >"$WORK/before"

user "$ROOT/usr/bin/velmora-cli" --help >"$WORK/help.out" 2>&1 || fail "velmora-cli --help: $(cat "$WORK/help.out")"
check "velmora-cli --help" grep -q '^Usage: velmora-cli' "$WORK/help.out"

# Started without the user() function so that $! is the simulator itself
# (setpriv and env exec it); a function run in the background is a subshell
# whose death would leave the simulator running.
"${AS_USER[@]}" env -i HOME="$HOMEDIR" PATH=/usr/bin:/bin XDG_RUNTIME_DIR="$WORK/runtime" \
  QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 "$ROOT/usr/bin/velmora-sim" >"$WORK/sim.out" 2>"$WORK/sim.err" &
SIM_PID=$!
for _ in $(seq 100); do
  grep -q '^PTY ' "$WORK/sim.out" 2>/dev/null && break
  kill -0 "$SIM_PID" 2>/dev/null || break
  sleep 0.1
done
PTY=$(sed -n 's/^PTY //p' "$WORK/sim.out")
if [ -z "$PTY" ]; then
  fail "the installed velmora-sim gave no port: $(cat "$WORK/sim.err")"
else
  if user "$ROOT/usr/bin/velmora-cli" --port "$PTY" info >"$WORK/info.out" 2>"$WORK/info.err"; then
    cat "$WORK/info.out"
    check "info: the shipped definition" grep -q '^Definition: *DATV1218.def' "$WORK/info.out"
    check "info: the user's folder" grep -qx "Settings and logs: *$DATA" "$WORK/info.out"
    check "info: the install folder" grep -qx "Shipped files: *$ROOT/usr/share/velmora" "$WORK/info.out"
  else
    fail "velmora-cli info: $(cat "$WORK/info.err")"
  fi
fi

# First start: the window against the installed simulator beside it.
if user "$ROOT/usr/bin/velmora" --demo --screenshot "$HOMEDIR/shot1.png" --quit-after 4 \
    >"$WORK/run1.out" 2>&1; then
  check "first start: demo instrument found" grep -q 'demo instrument on' "$WORK/run1.out"
  check "first start: picture saved" test -s "$HOMEDIR/shot1.png"
else
  fail "first start: $(cat "$WORK/run1.out")"
fi
check "settings in the XDG folder" test -s "$DATA/ISetup.dat"
check "log in the XDG folder" test -s "$DATA/logfile.txt"
check "the XDG folder is the user's own" test "$(stat -c %a "$DATA")" = 700
# Mark two settings, then see that the second start keeps them.
if [ -s "$DATA/ISetup.dat" ]; then
  sed -i '7s/.*/17\r/; 8s|.*|/srv/velmora-test/backups/\r|' "$DATA/ISetup.dat"
fi
if user "$ROOT/usr/bin/velmora" --screenshot "$HOMEDIR/shot2.png" --quit-after 3 \
    >"$WORK/run2.out" 2>&1; then
  check "second start: picture saved" test -s "$HOMEDIR/shot2.png"
else
  fail "second start: $(cat "$WORK/run2.out")"
fi
check "second start read the settings back" \
  test "$(sed -n '7p;8p' "$DATA/ISetup.dat" | tr -d '\r' | paste -sd' ')" = "17 /srv/velmora-test/backups/"
check "one log across both starts" test "$(grep -c 'Applicazione: Avvio' "$DATA/logfile.txt")" -ge 2

snapshot >"$WORK/after"
check "nothing written into the install folder" diff "$WORK/before" "$WORK/after"

# An install folder the user may write into (as root may write into /usr/bin)
# still gets nothing of the program's own files.
if [ ${#AS_USER[@]} -gt 0 ]; then
  chown -R 65534:65534 "$ROOT"
  snapshot >"$WORK/before"
  user "$ROOT/usr/bin/velmora" --screenshot "$HOMEDIR/shot3.png" --quit-after 2 >"$WORK/run3.out" 2>&1 ||
    fail "start with a writable install folder: $(cat "$WORK/run3.out")"
  snapshot >"$WORK/after"
  check "writable install folder: nothing written into it" diff "$WORK/before" "$WORK/after"
fi

echo
if [ "$FAILED" -ne 0 ]; then echo "package test FAILED"; exit 1; fi
echo "package test passed"
