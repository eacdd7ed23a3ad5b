# Starts the simulator a benchmark talks to and stops it when the benchmark's shell exits; sourced
# by the scripts beside it. Gives them `work`, a scratch directory removed at exit, and:
#   start_simulator BUILD_DIR TOVSIM_OPTIONS...   waits for its "ready" line ($TOVSIM picks
#                                                 another simulator binary)
#   simulator_ticks                               clock ticks of CPU time it has used so far
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
