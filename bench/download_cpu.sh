#!/usr/bin/env bash
# Downloads a program image (raw, no compression) to a simulator over UDP on loopback and prints
# the CPU time the host (download_throughput) and the simulator spent per 1024-byte block, so that
# loopback figures can be read as figures of the host. TARGET ram (the default) writes BYTES to
# target memory in one download; flash programs the simulator's 2-MiB flash bank ROUNDS times,
# erasing it before each round (the erase is not counted). Run it inside a private network
# namespace when other simulators may use the address:
#   unshare -n bash -c 'ip link set lo up && bench/download_cpu.sh'
# Usage: [TOVSIM=SIMULATOR] bench/download_cpu.sh [BUILD_DIR] [BYTES] [ram|flash] [ROUNDS]
set -euo pipefail
build=${1:-build/default}
target=${3:-ram}
if [ "$target" = flash ]; then
    bytes=${2:-2097152}
    rounds=${4:-4}
else
    bytes=${2:-8388608}
    rounds=${4:-1}
fi
address=127.0.0.78
port="NETWORK $address 1"
source "$(dirname "$0")/simulator.sh"

start_simulator "$build" --udp "$address"
ticks_per_second=$(getconf CLK_TCK)
TIMEFORMAT='%U %S'
host=0
simulator=0
for _ in $(seq "$rounds"); do
    if [ "$target" = flash ]; then
        "$build/bin/tov" --no-progress --port "$port" erase-chip 0x20000000 \
            --type 2,0x80000,32,0x100000 >/dev/null
    fi
    before=$(simulator_ticks)
    if ! { time "$build/bin/download_throughput" "$port" "$bytes" raw "$target" >"$work/out" \
        2>"$work/err"; } 2>"$work/host"; then
        cat "$work/out" "$work/err" >&2
        exit 1
    fi
    after=$(simulator_ticks)
    read -r user system <"$work/host"
    host=$(awk -v h="$host" -v u="$user" -v s="$system" 'BEGIN { print h + u + s }')
    simulator=$((simulator + after - before))
    sed 's/^/download_throughput: /' "$work/out"
done
blocks=$(( rounds * ((bytes + 1023) / 1024) ))
awk -v host="$host" -v st="$simulator" -v hz="$ticks_per_second" -v blocks="$blocks" \
    -v bytes="$bytes" -v rounds="$rounds" -v target="$target" 'BEGIN {
        simulator = st / hz
        printf "%d x %d bytes into %s (%d blocks of 1024) over UDP on loopback\n", rounds, bytes,
            target, blocks
        printf "host CPU:      %.3f s, %.1f us per block\n", host, 1e6 * host / blocks
        printf "simulator CPU: %.3f s, %.1f us per block\n", simulator, 1e6 * simulator / blocks
    }'
