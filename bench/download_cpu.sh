#!/usr/bin/env bash
# Downloads a program image (raw, no compression) to a simulator over UDP on loopback and prints
# the CPU time the host (download_throughput) and the simulator spent per 1024-byte block, so that
# loopback figures can be read as figures of the host. Run it inside a private network namespace
# when other simulators may use the address:
#   unshare -n bash -c 'ip link set lo up && bench/download_cpu.sh'
# Usage: [TOVSIM=SIMULATOR] bench/download_cpu.sh [BUILD_DIR] [BYTES]
set -euo pipefail
build=${1:-build/default}
bytes=${2:-8388608}
address=127.0.0.78
work=$(mktemp -d)
sim=""
cleanup() {
    [ -n "$sim" ] && kill -TERM "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

"${TOVSIM:-$build/bin/tovsim}" --udp "$address" >"$work/ready" &
sim=$!
for _ in $(seq 50); do grep -q '^ready' "$work/ready" 2>/dev/null && break; sleep 0.1; done

# Clock ticks of user and system time the simulator has used so far.
sim_ticks() { awk '{ print $14 + $15 }' "/proc/$sim/stat"; }
ticks_per_second=$(getconf CLK_TCK)

before=$(sim_ticks)
TIMEFORMAT='%U %S'
{ time "$build/bin/download_throughput" "NETWORK $address 1" "$bytes" raw >"$work/out"; } 2>"$work/host"
after=$(sim_ticks)
blocks=$(( (bytes + 1023) / 1024 ))
read -r host_user host_system <"$work/host"
awk -v hu="$host_user" -v hs="$host_system" -v st="$((after - before))" -v hz="$ticks_per_second" \
    -v blocks="$blocks" -v bytes="$bytes" 'BEGIN {
        host = hu + hs; simulator = st / hz
        printf "download of %d bytes (%d blocks of 1024) over UDP on loopback\n", bytes, blocks
        printf "host CPU:      %.3f s, %.1f us per block\n", host, 1e6 * host / blocks
        printf "simulator CPU: %.3f s, %.1f us per block\n", simulator, 1e6 * simulator / blocks
    }'
sed 's/^/download_throughput: /' "$work/out"
