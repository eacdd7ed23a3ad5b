#!/usr/bin/env bash
# GDB's `load` through `tov gdbserver` against `tov load` of the same 4 MiB ELF, both over UDP on
# loopback to `tovsim --core arm1136`, timed in this one run; prints each rate and the ratio of
# GDB's to tov's (1.00: as fast).
# Other work on the machine makes single rounds scatter: the median of the rounds' ratios, and the
# ratio of each side's best time, are the figures to quote.
# Usage: bench/gdb_load.sh [BUILD_DIR] [ROUNDS]
set -euo pipefail
build=${1:-build/default}
rounds=${2:-5}
address=127.0.77.41
direct=127.0.77.42  # a second simulator for tov load: one host per probe
port=$((20000 + RANDOM % 20000))
bytes=4194304
source "$(dirname "$0")/simulator.sh"

command -v gdb-multiarch >/dev/null || { echo "$0: gdb-multiarch is not installed" >&2; exit 1; }
command -v arm-none-eabi-gcc >/dev/null || { echo "$0: arm-none-eabi-gcc is not installed" >&2; exit 1; }

# The image: a branch to itself followed by 4 MiB of random bytes, linked into RAM at 0x10000.
head -c "$bytes" /dev/urandom >"$work/blob.bin"
printf '.text\n.global _start\n_start: b _start\n.section .rodata\n.incbin "%s"\n' \
    "$work/blob.bin" >"$work/image.S"
arm-none-eabi-gcc -nostdlib -Wl,-Ttext=0x10000 -o "$work/image.elf" "$work/image.S"

start_gdbserver_pair "$build" "$address" "$direct" "$port"

# Each side's own time of the transfer (reading the ELF included, the connection left out): GDB's
# from Python around the load command, tov's from its summary line (to 10 ms).
gdb_load() {
    gdb-multiarch -nx -batch -ex "set confirm off" \
        -ex "target extended-remote 127.0.0.1:$port" \
        -ex "python import time; start = time.monotonic()" -ex load \
        -ex 'python print("load took %.4f s" % (time.monotonic() - start))' \
        -ex detach "$work/image.elf" >"$work/gdb" 2>&1
    grep -q "Transfer rate" "$work/gdb" || { cat "$work/gdb" >&2; return 1; }
    sed -n 's/^load took \([0-9.]*\) s$/\1/p' "$work/gdb"
}
tov_load() {
    "$build/bin/tov" --no-progress --port "NETWORK $direct 1" load "$work/image.elf" \
        >"$work/tov" 2>&1 || { cat "$work/tov" >&2; return 1; }
    sed -n 's/^loaded .* in \([0-9.]*\) s$/\1/p' "$work/tov"
}
rate() { awk -v s="$1" -v b=$bytes 'BEGIN { printf "%.1f", b / s / 1e6 }'; }

ratios=()
gdb_best=1e9
tov_best=1e9
for round in $(seq "$rounds"); do
    gdb=$(gdb_load)
    tov=$(tov_load)
    gdb_best=$(awk -v a="$gdb" -v b="$gdb_best" 'BEGIN { print (a < b ? a : b) }')
    tov_best=$(awk -v a="$tov" -v b="$tov_best" 'BEGIN { print (a < b ? a : b) }')
    ratios+=("$(awk -v a="$tov" -v b="$gdb" 'BEGIN { printf "%.2f", a / b }')")
    printf 'round %d: load of 4 MiB: GDB %.3f s (%s MB/s), tov load %.3f s (%s MB/s); GDB / tov load speed %s\n' \
        "$round" "$gdb" "$(rate "$gdb")" "$tov" "$(rate "$tov")" \
        "${ratios[-1]}"
done
printf '%s\n' "${ratios[@]}" | sort -n |
    awk '{ r[NR] = $1 } END { m = NR % 2 ? r[(NR + 1) / 2] : (r[NR / 2] + r[NR / 2 + 1]) / 2
                              printf "median GDB / tov load speed over %d rounds: %.2f\n", NR, m }'
printf 'best times: GDB %.3f s, tov load %.3f s; GDB / tov load speed %s\n' "$gdb_best" "$tov_best" \
    "$(awk -v a="$tov_best" -v b="$gdb_best" 'BEGIN { printf "%.2f", a / b }')"
