#!/usr/bin/env bash
# Semihosting calls per second that rdihost and libtovrdi.so serve for a program on the
# simulator's emulated core, over UDP and over the pty in one run. The program makes CALLS
# one-character writes (SYS_WRITEC); the time of a run that only loads it is taken off, so the
# figure is the serving alone.
# Usage: bench/semihost_calls.sh [BUILD_DIR] [CALLS]
set -euo pipefail
build=${1:-build/default}
calls=${2:-1000}
source "$(dirname "$0")/simulator.sh"

program=$build/tests/arm_programs/semihost_calls_arm.srec
[ -f "$program" ] || { echo "$0: $program is missing (build arm_programs)" >&2; exit 1; }
address=127.77.7.1
start_simulator "$build" --core arm1136 --serial "$work/tty" --rate 115200 --udp "$address"

# seconds ARGS...: wall time of one rdihost run with the given arguments.
seconds() {
    local begin end
    begin=$(date +%s.%N)
    TOV_COM1=$work/tty "$build/bin/rdihost" "$@" >"$work/out" 2>"$work/err" || {
        echo "$0: rdihost failed:" >&2
        cat "$work/err" >&2
        exit 1
    }
    end=$(date +%s.%N)
    awk -v a="$begin" -v b="$end" 'BEGIN { print b - a }'
}

# rate NAME CONFIG...: calls per second over one channel.
rate() {
    local name=$1
    shift
    local load run
    load=$(seconds "$@" -e "load $program")
    run=$(seconds "$@" -e "load $program" -e "cmdline semihost_calls $calls" -e run)
    grep -q "program exited with status 0" "$work/out" || {
        echo "$0: the program did not finish over $name" >&2
        exit 1
    }
    awk -v name="$name" -v calls="$calls" -v run="$run" -v load="$load" 'BEGIN {
        printf "%-4s %6d calls in %6.3f s: %8.0f calls/s\n", name, calls, run - load,
            calls / (run - load) }'
}

rate udp --config SERIALPORT=0 --config "ETHERNETTARGET=$address"
rate pty --config SERIALPORT=1 --config SERIALLINESPEED=115200
