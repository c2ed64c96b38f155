# Sourced by the scripts that show Morvanti's windows without a display of their own.
# Starts a private Xvfb display on the first free number from $1 to $2 and exports DISPLAY;
# its process id is left in morvanti_xvfb_pid. Fails when no number is free.
morvanti_xvfb_start() {
    morvanti_xvfb_pid=
    local n
    for n in $(seq "$1" "$2"); do
        if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
            Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
            morvanti_xvfb_pid=$!
            export DISPLAY=":$n"
            break
        fi
    done
    [ -n "$morvanti_xvfb_pid" ] || { echo "no free X display number" >&2; return 1; }
    for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] && return 0; sleep 0.1; done
    return 0
}
