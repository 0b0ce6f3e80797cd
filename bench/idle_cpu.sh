#!/usr/bin/env bash
# CPU that Brindle uses while idle with a port open: a pseudo-terminal stands in for the cable.
# Usage: bench/idle_cpu.sh BUILD_DIR [SECONDS]   (needs xvfb, xauth and python3)
source "$(dirname "$0")/stage.sh"
seconds=${2:-10}
python3 -c '
import os, sys, time
master, slave = os.openpty()
os.symlink(os.ttyname(slave), sys.argv[1] + "/ports/COM1")
time.sleep(float(sys.argv[2]))' "$work" $((seconds + 30)) &
sleep 1
xvfb-run -a bash -c '
    "'"$work"'/Brindle" & pid=$!
    sleep 3
    ticks() { awk "{ print \$14 + \$15 }" /proc/$pid/stat; }
    before=$(ticks); sleep '"$seconds"'; after=$(ticks)
    hz=$(getconf CLK_TCK)
    echo "idle CPU over '"$seconds"' s: $(( (after - before) * 1000 / hz )) ms"
    kill $pid'
