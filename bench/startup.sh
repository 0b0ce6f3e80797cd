#!/usr/bin/env bash
# Start-up time of Brindle against a minimal Qt widgets program, measured side by side as whole
# processes under a virtual X server: the time from launch until the program's window is mapped.
# Usage: bench/startup.sh BUILD_DIR [RUNS]   (needs xvfb, xauth and xdotool)
set -euo pipefail
build=$(realpath "$1")
runs=${2:-10}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$build/Brindle" "$work/"
mkdir "$work/ports"  # no serial devices: start-up must not touch the machine's own ports

measure() {  # program, window title
    local start end
    start=$(date +%s%N)
    "$1" >/dev/null 2>&1 &
    local pid=$!
    xdotool search --sync --onlyvisible --name "$2" >/dev/null
    end=$(date +%s%N)
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    echo $(((end - start) / 1000))
}

export -f measure
xvfb-run -a bash -c '
    for i in $(seq '"$runs"'); do
        echo "minimal $(measure '"$build"'/minimal_window "Minimal Window")"
        echo "brindle $(measure '"$work"'/Brindle "Brindle V1.06")"
    done' | awk '{ t[$1] = t[$1] " " $2 }
    END {
        for (k in t) {
            n = split(t[k], v, " "); asort(v)
            printf "%s: median %.1f ms over %d runs\n", k, v[int((n + 1) / 2)] / 1000, n
        }
    }'
