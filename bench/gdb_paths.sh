#!/usr/bin/env bash
# The GDB server's two heavy paths on `tovsim --core arm1136` over UDP on loopback, each against
# the direct path, all from this one run:
# - the round trip of one semihosting call: a program making 2000 clock calls against one making
#   none, run through `tov gdbserver` by gdb-multiarch and directly by rdihost;
# - GDB's `load` of a 16 MiB ELF against `tov load` of the same ELF.
# Usage: bench/gdb_paths.sh [BUILD_DIR] [ROUNDS]
set -euo pipefail
build=${1:-build/default}
rounds=${2:-1}
address=127.0.0.79
direct=127.0.0.80  # a second simulator for the direct paths: one host per probe
port=$((20000 + RANDOM % 20000))
programs=$build/bench/arm
big=$build/tests/arm_programs/sum_table.elf
calls=2000
source "$(dirname "$0")/simulator.sh"

command -v gdb-multiarch >/dev/null || { echo "$0: gdb-multiarch is not installed" >&2; exit 1; }
[ -f "$programs/semihost_calls_0.elf" ] && [ -f "$big" ] ||
    { echo "$0: no ARM benchmark programs under $build" >&2; exit 1; }
start_gdbserver_pair "$build" "$address" "$direct" "$port"

seconds() {
    local start end
    start=$(date +%s%N)
    "$@" >"$work/out" 2>&1 || { cat "$work/out" >&2; return 1; }
    end=$(date +%s%N)
    awk -v ns="$((end - start))" 'BEGIN { printf "%.4f", ns / 1e9 }'
}
gdb_batch() {
    local elf=$1
    shift
    local args=(-nx -batch -ex "set confirm off" -ex "target extended-remote 127.0.0.1:$port")
    for command in "$@"; do args+=(-ex "$command"); done
    # A program run to its end leaves nothing to detach from.
    [ "${*: -1}" = continue ] || args+=(-ex detach)
    gdb-multiarch "${args[@]}" "$elf"
}
rdihost_run() {
    "$build/bin/rdihost" --config SERIALPORT=0 --config "ETHERNETTARGET=$direct" \
        -e "load $1" -e run
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

for round in $(seq "$rounds"); do
    g0=$(seconds gdb_batch "$programs/semihost_calls_0.elf" load continue)
    g1=$(seconds gdb_batch "$programs/semihost_calls_$calls.elf" load continue)
    r0=$(seconds rdihost_run "$programs/semihost_calls_0.srec")
    r1=$(seconds rdihost_run "$programs/semihost_calls_$calls.srec")
    per_gdb=$(awk -v a="$g0" -v b="$g1" -v n="$calls" 'BEGIN { printf "%.1f", (b - a) / n * 1e6 }')
    per_rdi=$(awk -v a="$r0" -v b="$r1" -v n="$calls" 'BEGIN { printf "%.1f", (b - a) / n * 1e6 }')
    printf 'round %d: semihosting call round trip: GDB server %s us, rdihost %s us, GDB / rdihost %s\n' \
        "$round" "$per_gdb" "$per_rdi" "$(ratio "$per_gdb" "$per_rdi")"

    connect=$(seconds gdb_batch "$big")
    gdb_load=$(seconds gdb_batch "$big" load)
    gdb_net=$(awk -v a="$gdb_load" -v b="$connect" 'BEGIN { printf "%.4f", a - b }')
    tov_load=$(seconds "$build/bin/tov" --no-progress --port "NETWORK $direct 1" load "$big")
    bytes=16777216
    printf 'round %d: load of 16 MiB: GDB %.3f s (%.1f MB/s, after %.3f s to connect), tov load %.3f s (%.1f MB/s); GDB / tov load speed %s\n' \
        "$round" "$gdb_net" "$(awk -v s="$gdb_net" -v b=$bytes 'BEGIN { print b / s / 1e6 }')" \
        "$connect" "$tov_load" "$(awk -v s="$tov_load" -v b=$bytes 'BEGIN { print b / s / 1e6 }')" \
        "$(ratio "$tov_load" "$gdb_net")"
done
