# Starts the simulator a benchmark talks to and stops it when the benchmark's shell exits; sourced
# by the scripts beside it. Gives them `work`, a scratch directory removed at exit, and:
#   start_simulator BUILD_DIR TOVSIM_OPTIONS...   waits for its "ready" line ($TOVSIM picks
#                                                 another simulator binary)
#   simulator_ticks                               clock ticks of CPU time it has used so far
#   start_gdbserver_pair BUILD ADDRESS DIRECT PORT  an arm1136 simulator on ADDRESS served by
#                                                 tov gdbserver on 127.0.0.1:PORT, and a second
#                                                 one on DIRECT for tov itself (one host per probe)
work=$(mktemp -d)
sim=""

stop_simulator() {
    if [ -n "$sim" ]; then
        kill -TERM "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
    fi
    rm -rf "$work"
}
trap stop_simulator EXIT

start_simulator() {
    local build=$1
    shift
    "${TOVSIM:-$build/bin/tovsim}" "$@" >"$work/ready" &
    sim=$!
    for _ in $(seq 100); do
        grep -q '^ready' "$work/ready" 2>/dev/null && return 0
        sleep 0.1
    done
    echo "$0: the simulator did not get ready" >&2
    exit 1
}

simulator_ticks() {
    awk '{ print $14 + $15 }' "/proc/$sim/stat"
}

start_gdbserver_pair() {
    local build=$1 address=$2 direct=$3 port=$4
    start_simulator "$build" --udp "$address" --core arm1136
    "$build/bin/tov" --port "NETWORK $address 1" gdbserver --listen "127.0.0.1:$port" \
        >"$work/server" 2>&1 &
    server=$!
    "$build/bin/tovsim" --udp "$direct" --core arm1136 >"$work/direct" &
    second=$!
    trap 'kill -TERM $server $second 2>/dev/null; wait $server $second 2>/dev/null; stop_simulator' EXIT
    for _ in $(seq 100); do grep -q '^ready' "$work/direct" && break; sleep 0.1; done
    for _ in $(seq 100); do grep -q listening "$work/server" && break; sleep 0.1; done
}
