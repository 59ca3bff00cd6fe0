# Sourced by the other scripts: start_private_xvfb starts an Xvfb on a free
# display number (the server picks it), exports DISPLAY and stops the server
# when the calling script exits, however it exits. A script that sets its
# own EXIT trap calls stop_private_xvfb from it.

stop_private_xvfb() {
    [ -n "${KVOR_XVFB_PID:-}" ] || return 0
    kill "$KVOR_XVFB_PID" 2>/dev/null
    wait "$KVOR_XVFB_PID" 2>/dev/null || true
    KVOR_XVFB_PID=""
}

start_private_xvfb() {
    local screen="${1:-1024x768x24}"
    local fifo
    fifo="$(mktemp -u /tmp/kvor-xvfb.XXXXXX)"
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 "$screen" -noreset -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    KVOR_XVFB_PID=$!
    trap stop_private_xvfb EXIT
    local number=""
    read -r -t 30 number <"$fifo" || true
    rm -f "$fifo"
    if [ -z "$number" ]; then
        echo "Xvfb did not start" >&2
        return 1
    fi
    export DISPLAY=":$number"
}
