#!/usr/bin/env bash
# Downloads a 128 KiB program image, raw and compressed, to a simulator that paces its serial
# line at 115200 baud, and prints each data rate as a share of the line's limit.
# Usage: bench/download_vs_line.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build/default}
work=$(mktemp -d)
sim=""
cleanup() {
    [ -n "$sim" ] && kill -TERM "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

"$build/bin/tovsim" --serial "$work/tty" --rate 115200 --line-timing >"$work/ready" &
sim=$!
for _ in $(seq 50); do grep -q '^ready' "$work/ready" 2>/dev/null && break; sleep 0.1; done

"$build/bin/download_throughput" "$work/tty 115200" 131072 raw
"$build/bin/download_throughput" "$work/tty 115200" 131072 compressed
