# Sourced by the scripts that show the Windows program under Wine: a private virtual display
# (Xvfb picks a free display number itself; a fixed one may be someone else's) with openbox as
# its window manager, and the Windows bitmap fonts in the Wine prefix, so that "MS Sans Serif"
# is the real face. The caller's EXIT trap calls wine_display_stop.

wine_display_pids=()

# Starts Xvfb and openbox and exports DISPLAY. $1: a folder for the display's files.
wine_display_start() {
    local folder=$1 number_file="$1/display-number"
    : >"$number_file"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp 3>"$number_file" \
        >"$folder/xvfb.log" 2>&1 &
    wine_display_pids+=($!)
    wait_for_start Xvfb "$folder/xvfb.log" test -s "$number_file" || return 1
    export DISPLAY=":$(head -n 1 "$number_file")"
    # Without a window manager Wine draws no frames and waits at every close.
    openbox --sm-disable >"$folder/openbox.log" 2>&1 &
    wine_display_pids+=($!)
    # openbox has taken the display once it names itself on the root window.
    wait_for_start openbox "$folder/openbox.log" has_window_manager || return 1
}

has_window_manager() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; }

# Waits until the command succeeds, a minute at most (a fresh, loaded machine is slow); says
# which program did not start, with its log, otherwise. $1: the program, $2: its log.
wait_for_start() {
    local name=$1 log=$2 tries=0
    shift 2
    until "$@"; do
        tries=$((tries + 1))
        if [ "$tries" -gt 600 ]; then
            echo "$name did not start:" >&2
            cat "$log" >&2
            return 1
        fi
        sleep 0.1
    done
}

wine_display_stop() {
    local pid
    for pid in "${wine_display_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    wine_display_pids=()
}

# Copies Debian's Wine fonts into the prefix's font folder (fonts-wine).
wine_prefix_fonts() {
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
}
