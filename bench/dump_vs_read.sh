#!/usr/bin/env bash
# Times `tov dump` of 16 MiB (records of 32 bytes, read in 1024-byte pieces) against `tov read` of
# the same memory over UDP on loopback, and prints the ratio of the two. Run it inside a private
# network namespace when other simulators may use the address:
#   unshare -n bash -c 'ip link set lo up && bench/dump_vs_read.sh'
# Usage: bench/dump_vs_read.sh [BUILD_DIR] [BYTES]
set -euo pipefail
build=${1:-build/default}
bytes=${2:-16777216}
address=127.0.0.77
source "$(dirname "$0")/simulator.sh"

start_simulator "$build" --udp "$address"
port="NETWORK $address 1"
seconds() {
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    awk -v ns="$((end - start))" 'BEGIN { printf "%.3f", ns / 1e9 }'
}
read_s=$(seconds "$build/bin/tov" --no-progress --port "$port" read 0 "$bytes")
dump_s=$(seconds "$build/bin/tov" --no-progress --port "$port" dump 0 "$bytes" "$work/dump.s37")
printf 'tov read %d bytes: %.2f s\n' "$bytes" "$read_s"
printf 'tov dump %d bytes: %.2f s (%s)\n' "$bytes" "$dump_s" "$(stat -c %s "$work/dump.s37") bytes of records"
awk -v d="$dump_s" -v r="$read_s" 'BEGIN { printf "dump / read: %.2f\n", d / r }'
