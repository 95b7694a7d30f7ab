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
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap e2e_cleanup EXIT

fail() {
    echo "FALLITO: $*" >&2
    local log
    for log in "$work"/*.log; do [ -s "$log" ] && { echo "== $log" >&2; cat "$log" >&2; }; done
    exit 1
}

# Starts Xvfb on the first free display and exports DISPLAY.
start_xvfb() {
    local display=99
    while [ -e "/tmp/.X${display}-lock" ]; do display=$((display + 1)); done
    Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$display"
    for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && return 0; sleep 0.1; done
    fail "Xvfb non parte"
}
