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
# started or torn down by another test) and exports DISPLAY. Arguments go to Xvfb (-ac lets
# in a program that runs under another host name).
start_xvfb() {
    local number="$work/xvfb-display"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp "$@" 3>"$number" >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do [ -s "$number" ] && break; sleep 0.1; done
    [ -s "$number" ] || fail "Xvfb non parte"
    export DISPLAY=":$(head -n 1 "$number")"
    for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && return 0; sleep 0.1; done
    fail "Xvfb non parte"
}

# The program in $work, started with its window found: sets app_pid and main.
start_program() {
    (cd "$work" && LC_ALL=C.UTF-8 exec ./clivara >"$work/program.log" 2>&1) &
    app_pid=$!
    pids+=("$app_pid")
    main=$(timeout 20 xdotool search --all --sync --onlyvisible --pid "$app_pid" \
        --name '^Clivara 2008$' | head -n 1) || fail "la finestra non compare"
    focus_main
}

# Gives the focus back to the main window; nothing to do while it is not shown yet (main
# empty: a box of the start-up).
focus_main() {
    [ -n "$main" ] || return 0
    xdotool windowfocus --sync "$main"
    sleep 0.3
}

# Titles of the program's message boxes; a test may widen them (they never match the main
# window, which is left out by its id, but a pattern must not match another open window).
box_titles='^Clivara 2008$'
# Waits for a message box, answers it with keys (Return: Yes or OK, the default; several keys
# separated by spaces, as "Tab space" for the button after the default one) and gives the
# focus back to the main window. The second argument names the box in the failure.
answer_box() {
    local key=${1:-Return} box=""
    for _ in $(seq 100); do
        box=$(xdotool search --all --onlyvisible --pid "$app_pid" --name "$box_titles" 2>/dev/null |
            grep -vx "$main" | head -n 1) || true
        [ -n "$box" ] && break
        sleep 0.1
    done
    [ -n "$box" ] || fail "nessuna finestra di messaggio${2:+ ($2)}"
    xdotool windowfocus --sync "$box"
    sleep 0.3
    local keys
    read -r -a keys <<<"$key"
    xdotool key "${keys[@]}"
    for _ in $(seq 100); do
        xdotool search --all --onlyvisible --pid "$app_pid" --name '.' 2>/dev/null | grep -qx "$box" || break
        sleep 0.1
    done
    # After the last box the program may end, taking its window along.
    [ -z "$main" ] || xdotool search --all --onlyvisible --pid "$app_pid" --name '.' 2>/dev/null |
        grep -qx "$main" || return 0
    focus_main
}

# Opens "Clienti" (third menu), presses the given keys in it, then Return.
clienti_menu_keys() {
    focus_main
    xdotool key alt
    sleep 0.3
    xdotool key Right Right Down
    sleep 0.3
    [ $# -gt 0 ] && xdotool key "$@"
    xdotool key Return
}
# Opens "Clienti" and chooses its n-th entry.
clienti_menu() {
    local keys=() i
    for ((i = 1; i < $1; i++)); do keys+=(Down); done
    clienti_menu_keys "${keys[@]}"
}
