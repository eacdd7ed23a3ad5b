#!/usr/bin/env bash
# Reads the same 32 MB S-record file with the library's reader and with srec_cat, one after
# the other, and prints both throughputs. Usage: bench/srecord_vs_srec_cat.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build/default}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# 32 MB of S3 records: about 13 MB of random data at 4-byte addresses, 32 bytes per record.
head -c 12950000 /dev/urandom >"$work/data.bin"
srec_cat "$work/data.bin" -binary -offset 0x10000000 -o "$work/data.s19" -motorola -obs=32
size=$(stat -c %s "$work/data.s19")
awk -v n="$size" 'BEGIN { printf "file: %.1f MB of S-records\n", n / 1e6 }'

# Warm the page cache so both readers see the same conditions.
cat "$work/data.s19" >/dev/null

echo -n "library reader: "
"$build/bin/srecord_read" "$work/data.s19"

start=$(date +%s.%N)
srec_cat "$work/data.s19" -motorola -o "$work/out.bin" -binary
end=$(date +%s.%N)
awk -v s="$start" -v e="$end" -v n="$size" \
    'BEGIN { t = e - s; printf "srec_cat:       %.1f MB in %.3f s: %.1f MB/s\n", n / 1e6, t, n / 1e6 / t }'
