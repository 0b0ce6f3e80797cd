#!/usr/bin/env bash
# Start-up time of Brindle against a minimal Qt widgets program, measured side by side as whole
# processes under a virtual X server: the time from launch until the program's window is mapped.
# Usage: bench/startup.sh BUILD_DIR [RUNS]   (needs xvfb, xauth and xwininfo)
source "$(dirname "$0")/stage.sh"
runs=${2:-10}

cat >"$work/measure.sh" <<'INNER'
measure() {  # program, window title -> microseconds until its window is visible
    local start end pid
    start=$(date +%s%N)
    "$1" >/dev/null 2>&1 &
    pid=$!
    until xwininfo -name "$2" 2>/dev/null | grep -q IsViewable; do
        kill -0 "$pid" 2>/dev/null || { echo "failed"; return; }
        sleep 0.002
    done
    end=$(date +%s%N)
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    echo $(((end - start) / 1000))
}
for i in $(seq "$RUNS"); do
    echo "minimal $(measure "$BUILD/minimal_window" "Minimal Window")"
    echo "brindle $(measure "$WORK/Brindle" "Brindle V1.06")"
done
INNER
RUNS=$runs BUILD=$build WORK=$work xvfb-run -a bash "$work/measure.sh" >"$work/times"
for name in minimal brindle; do
    grep "^$name " "$work/times" | cut -d' ' -f2 | sort -n |
        awk -v n="$name" '{ v[NR] = $1 } END { printf "%s: median %.1f ms over %d runs\n", n, v[int((NR + 1) / 2)] / 1000, NR }'
done
