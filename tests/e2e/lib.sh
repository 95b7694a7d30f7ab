# Shared setup of the end-to-end tests, sourced by the *_test.sh scripts: a scratch folder
# removed at exit, a private Xvfb display, and a failure that prints the program logs.
# After sourcing: $work is the scratch folder, $DISPLAY the display; add the pids of started
# programs to the array pids so that they are ended at exit.

work=$(mktemp -d)
xvfb_pid=""
pids=()
e2e_cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap e2e_cleanup EXIT

fail() {
    echo "FALLITO: $*" >&2
    local log
    for log in "$work"/*.log; do [ -s "$log" ] && { echo "== $log" >&2; cat "$log" >&2; }; done
    exit 1
}

# Starts Xvfb on a display it finds free itself (-displayfd: no race with a display being
# started or torn down by another test) and exports DISPLAY.
start_xvfb() {
    local number="$work/xvfb-display"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$number" >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do [ -s "$number" ] && break; sleep 0.1; done
    [ -s "$number" ] || fail "Xvfb non parte"
    export DISPLAY=":$(head -n 1 "$number")"
    for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && return 0; sleep 0.1; done
    fail "Xvfb non parte"
}
