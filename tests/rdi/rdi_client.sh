#!/bin/sh
# Runs the C debugger client against a simulator answering on UDP at ADDRESS.
# usage: rdi_client.sh TOVSIM CLIENT LIBRARY ADDRESS
set -eu
tovsim=$1 client=$2 library=$3 address=$4
ready=$(mktemp)
"$tovsim" --udp "$address" >"$ready" &
sim=$!
trap 'kill -TERM $sim 2>/dev/null; wait $sim 2>/dev/null; rm -f "$ready"' EXIT
for _ in $(seq 100); do
    grep -q '^ready' "$ready" && break
    sleep 0.1
done
grep -q '^ready' "$ready" || { echo "rdi_client.sh: the simulator did not get ready" >&2; exit 1; }
"$client" "$library" "$address"
