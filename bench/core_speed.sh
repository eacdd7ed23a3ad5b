#!/usr/bin/env bash
# The emulated core's speed: an 8-instruction loop run 250 million times on `tovsim --core
# arm1136` (loaded and run by rdihost over UDP on loopback), after the program has touched 1,
# 256, 1024 and 16384 pages of 4 KiB, and the same ELF under qemu-arm when it is installed.
# Prints the instructions per second of each, by CPU time (the simulator's /proc counters, the
# emulator's user and system time: what a busy machine disturbs least) and by wall time, and
# the ratios, all from this one run. The figures include loading the program and its start-up.
# In one more run of the 1-page program, `tov state` asks through the simulator's second port
# ten times: the shortest and the longest of those commands, start to exit, are printed.
# Usage: bench/core_speed.sh [BUILD_DIR] [ROUNDS]
set -euo pipefail
build=${1:-build/default}
rounds=${2:-1}
address=127.0.0.83
programs=$build/bench/arm
instructions=2000000000  # 8 instructions x 250 million iterations
source "$(dirname "$0")/simulator.sh"

[ -f "$programs/core_loop_1.srec" ] || { echo "$0: no ARM benchmark programs in $programs" >&2; exit 1; }
start_simulator "$build" --udp "$address" --core arm1136
hz=$(getconf CLK_TCK)

# Sets cpu and wall (seconds) for one run of the core with the table of PAGES pages; with a
# second argument, also polls the state through the second port while the program runs.
on_core() {
    local before start end runner
    before=$(simulator_ticks)
    start=$(date +%s%N)
    "$build/bin/rdihost" --config SERIALPORT=0 --config "ETHERNETTARGET=$address" \
        -e "load $programs/core_loop_$1.srec" -e run >"$work/out" 2>&1 &
    runner=$!
    [ $# -gt 1 ] && poll_state $runner
    wait $runner 2>/dev/null || [ $# -gt 1 ] || { cat "$work/out" >&2; exit 1; }
    end=$(date +%s%N)
    cpu=$(awk -v t="$(($(simulator_ticks) - before))" -v hz="$hz" 'BEGIN { printf "%.2f", t / hz }')
    wall=$(awk -v ns="$((end - start))" 'BEGIN { printf "%.3f", ns / 1e9 }')
}
# Times `tov state` through the second port while the program runs, then as many times on the
# idle simulator: the commands' own start-up is the idle figure.
poll_state() {
    local running=() idle=() t0 t1
    sleep 0.1
    for _ in $(seq 20); do
        kill -0 "$1" 2>/dev/null || break
        t0=$(date +%s%N)
        "$build/bin/tov" --port "NETWORK $address 2" state >"$work/state" 2>&1 ||
            { cat "$work/state" >&2; exit 1; }
        t1=$(date +%s%N)
        grep -q RUNNING "$work/state" && running+=($(((t1 - t0) / 1000)))
    done
    wait "$1" || { cat "$work/out" >&2; exit 1; }
    for _ in $(seq ${#running[@]}); do
        t0=$(date +%s%N)
        "$build/bin/tov" --port "NETWORK $address 2" state >"$work/state" 2>&1
        t1=$(date +%s%N)
        idle+=($(((t1 - t0) / 1000)))
    done
    if [ ${#running[@]} -eq 0 ]; then
        echo "  state through the second port: the program ended before a poll saw it running"
        return
    fi
    span() { printf '%s\n' "$@" | sort -n | awk '{ t[NR] = $1 } END { printf "%d polls, %.1f to %.1f ms", NR, t[1] / 1000, t[NR] / 1000 }'; }
    echo "  tov state through the second port (command start to exit): while running $(span "${running[@]}"); idle $(span "${idle[@]}")"
}
on_qemu() {
    local start end TIMEFORMAT='%U %S'
    start=$(date +%s%N)
    cpu=$( { time qemu-arm "$programs/core_loop_1.elf" >/dev/null; } 2>&1 | awk '{ printf "%.2f", $1 + $2 }')
    end=$(date +%s%N)
    wall=$(awk -v ns="$((end - start))" 'BEGIN { printf "%.3f", ns / 1e9 }')
}
mips() { awk -v s="$1" -v n="$instructions" 'BEGIN { printf "%.0f", n / s / 1e6 }'; }

for round in $(seq "$rounds"); do
    declare -A core_cpu=() core_wall=()
    for pages in 1 256 1024 16384; do
        on_core "$pages"
        core_cpu[$pages]=$cpu
        core_wall[$pages]=$wall
        printf 'round %d: core, %5d pages touched: CPU %5.2f s (%5s MIPS), wall %6.3f s (%5s MIPS)\n' \
            "$round" "$pages" "$cpu" "$(mips "$cpu")" "$wall" "$(mips "$wall")"
    done
    for pages in 256 1024 16384; do
        awk -v a="${core_cpu[1]}" -v b="${core_cpu[$pages]}" -v c="${core_wall[1]}" \
            -v d="${core_wall[$pages]}" -v p="$pages" \
            'BEGIN { printf "  speed after %d pages / after 1 page: %.2f by CPU, %.2f by wall\n", p, a / b, c / d }'
    done
    # A run of its own, so that the polls take nothing from the measured ones.
    on_core 1 poll
    if command -v qemu-arm >/dev/null; then
        on_qemu
        printf 'round %d: qemu-arm, 1 page touched: CPU %5.2f s (%5s MIPS), wall %6.3f s (%5s MIPS)\n' \
            "$round" "$cpu" "$(mips "$cpu")" "$wall" "$(mips "$wall")"
        awk -v a="${core_cpu[1]}" -v q="$cpu" -v c="${core_wall[1]}" -v w="$wall" \
            'BEGIN { printf "  core / qemu-arm: %.2f by CPU, %.2f by wall\n", q / a, w / c }'
    else
        echo "qemu-arm is not installed (Debian package qemu-user): no comparison"
    fi
done
