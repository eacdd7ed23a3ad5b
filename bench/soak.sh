#!/usr/bin/env bash
# The fault soak: downloads 1 MiB to a simulator and reads it back over the pseudo-terminal and
# over UDP, with each fault kind of the simulator alone and all of them together. Prints one
# table row per run: resends (requests the simulator heard more than once, from its trace),
# the time of the download and of the read-back, whether the target memory is bit-exact, and the outcome codes. Exits non-zero when a run
# reported success over wrong data.
# Usage: bench/soak.sh [BUILD_DIR] [SEED]
# Run it inside its own network namespace when others use 127.0.0.x:2001 too:
#   unshare -n bash -c 'ip link set lo up && bench/soak.sh'
set -euo pipefail
build=${1:-build/default}
seed=${2:-17}
work=$(mktemp -d)
sim=""
stop_sim() {
    if [ -n "$sim" ]; then
        kill -TERM "$sim" 2>/dev/null || true
        wait "$sim" 2>/dev/null || true
        sim=""
    fi
}
cleanup() {
    stop_sim
    rm -rf "$work"
}
trap cleanup EXIT

image=$work/image.bin
head -c 1048576 /dev/urandom >"$image"

faults=(
    "none:"
    "drop:drop=0.01"
    "corrupt:corrupt=0.01"
    "duplicate:dup=0.1"
    "delay:delay=20"
    "stale:stale=0.1"
    "event:event=0.1"
    "all:drop=0.005,corrupt=0.005,dup=0.05,delay=10,stale=0.05,event=0.05"
)

# Requests heard more than once: the same frame bytes from the host again (a resend carries the
# same sequence bits and block or address as its first send).
resends() {
    awk '$2 == "host>" { sub(/  \(.*$/, ""); $1 = ""; seen[$0]++ }
         END { n = 0; for (f in seen) n += seen[f] - 1; print n }' "$1"
}

bad=0
printf '%-9s %-9s %7s %10s %10s %-7s %s\n' transport fault resends download_s readback_s exact \
    outcome
for transport in pty udp; do
    for entry in "${faults[@]}"; do
        name=${entry%%:*}
        list=${entry#*:}
        args=(--rate 115200 --trace "$work/trace")
        [ -n "$list" ] && args+=(--faults "$list,seed=$seed")
        if [ "$transport" = pty ]; then
            args+=(--serial "$work/tty")
            port="$work/tty 115200"
        else
            args+=(--udp 127.0.0.77)
            port="NETWORK 127.0.0.77 1"
        fi
        rm -f "$work/ready" "$work/trace"
        "$build/bin/tovsim" "${args[@]}" >"$work/ready" &
        sim=$!
        for _ in $(seq 100); do grep -q '^ready' "$work/ready" 2>/dev/null && break; sleep 0.1; done
        status=0
        line=$("$build/bin/soak_client" "$port" "$image" 0x100000 raw) || status=$?
        stop_sim
        seconds=$(sed -n 's/.*download_s=\([^ ]*\).*/\1/p' <<<"$line")
        readback=$(sed -n 's/.*readback_s=\([^ ]*\).*/\1/p' <<<"$line")
        exact=$(sed -n 's/.*exact=\([^ ]*\).*/\1/p' <<<"$line")
        outcome=$(sed -n 's/^\(download=[^ ]* readback=[^ ]*\).*/\1/p' <<<"$line")
        printf '%-9s %-9s %7s %10s %10s %-7s %s\n' "$transport" "$name" \
            "$(resends "$work/trace")" "${seconds:--}" "${readback:--}" "${exact:--}" \
            "${outcome:-client failed ($status)}"
        [ "$status" -eq 0 ] || bad=1
    done
done
echo "load: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
exit $bad
