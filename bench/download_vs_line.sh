#!/usr/bin/env bash
# Downloads a 128 KiB program image, raw and compressed, to a simulator that paces its serial
# line at 115200 baud, and prints each data rate as a share of the line's limit.
# Usage: bench/download_vs_line.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build/default}
source "$(dirname "$0")/simulator.sh"

start_simulator "$build" --serial "$work/tty" --rate 115200 --line-timing
"$build/bin/download_throughput" "$work/tty 115200" 131072 raw
"$build/bin/download_throughput" "$work/tty 115200" 131072 compressed
