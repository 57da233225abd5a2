#!/usr/bin/env bash
# The command-line front end against the virtual instrument: info, read and
# five seconds of watch, while the load on the scale changes half way.
set -euo pipefail
BUILD="$(readlink -f "${1:-build}")"
shift || true
CLI="$BUILD/velmora-cli"
SIM="$BUILD/velmora-sim"

coproc SIMPROC { exec "$SIM" --stdin-control --load 25 --noise 3; }
SIM_PID=$SIMPROC_PID
# A descriptor of our own for the simulator's commands: the coprocess's own
# ones are not visible in the background job below.
exec 3>&"${SIMPROC[1]}"

cleanup() {
    if kill -0 "$SIM_PID" 2>/dev/null; then
        echo quit >&3 2>/dev/null || true
        for _ in 1 2 3 4 5 6 7 8 9 10; do
            kill -0 "$SIM_PID" 2>/dev/null || return 0
            sleep 0.1
        done
        kill "$SIM_PID" 2>/dev/null || true
    fi
}
trap cleanup EXIT

first=""
read -r -t 10 first <&"${SIMPROC[0]}" || true
if [[ "$first" != PTY\ * ]]; then
    echo "demo: velmora-sim did not start" >&2
    exit 1
fi
PTY=${first#PTY }
echo "== velmora-sim serves a virtual instrument on $PTY"

run() {
    echo
    echo "\$ velmora-cli --port $PTY $*"
    "$CLI" --port "$PTY" "$@"
}

run info
run read
(sleep 2.5 && echo "load 40" >&3) &
LOADER=$!
run watch --seconds 5
wait "$LOADER" 2>/dev/null || true
echo
echo "== more: $CLI --help"
