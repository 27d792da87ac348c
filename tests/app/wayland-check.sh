#!/usr/bin/env bash
# The program on a Wayland compositor (Weston, drawing into Xvfb through its X11 backend so
# that xdotool can type into it):
#  - without paths the main window opens natively (an xdg_toplevel "Brevorn", app id
#    "tolvane", with a buffer attached), not through X11;
#  - with a path the confirmation opens natively, 'y' confirms, the file is erased and its
#    neighbour stays;
#  - without Qt's Wayland plugin (hidden in a private mount namespace) and only the compositor
#    there, no window: the message names qt6-wayland and QT_QPA_PLATFORM=xcb and the status is
#    1; with a path the run falls back to the terminal;
#  - QT_QPA_PLATFORM=wayland with only an X display: the message does not blame DISPLAY.
# Usage: wayland-check.sh PROGRAM. Exit 77 (skipped) where Weston, Xvfb, xdotool or the
# plugin are missing. KEEP=1 keeps the logs.
set -uo pipefail
program=$1
plugins=$(dirname "$(find /usr/lib -path '*/qt6/plugins/platforms/libqxcb.so' -print -quit)")
for tool in weston Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
if ! ls "$plugins"/libqwayland-*.so >/dev/null 2>&1; then
    echo "SKIP: the Qt Wayland plugin is not installed"
    exit 77
fi

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    if [ -n "${KEEP:-}" ]; then echo "kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
failures=0
check() {  # check DESCRIPTION COMMAND...
    if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}
waitfor() {  # waitfor FILE PATTERN: up to 60 s
    for _ in $(seq 600); do grep -q -- "$2" "$1" 2>/dev/null && return 0; sleep 0.1; done
    return 1
}

mkdir -m 700 "$work/runtime"
mkdir -p "$work/home/.config" "$work/files"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/data \
    XDG_RUNTIME_DIR=$work/runtime TMPDIR=$work
unset QT_QPA_PLATFORM XDG_SESSION_TYPE
# In a sanitizer build the leak report on the Wayland and X client libraries' allocations at
# exit would change the statuses checked here; those allocations are not the program's.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0

exec 3>"$work/displayfd"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
waitfor "$work/displayfd" '[0-9]' || { echo "SKIP: Xvfb did not start"; exit 77; }
x11=":$(head -1 "$work/displayfd")"
DISPLAY=$x11 weston --backend=x11-backend.so --socket=wayland-check --idle-time=0 \
    --width=1024 --height=768 >"$work/weston.log" 2>&1 &
pids+=($!)
if ! waitfor "$work/weston.log" 'launching.*desktop-shell'; then
    cat "$work/weston.log"
    echo "SKIP: Weston did not start"
    exit 77
fi
sleep 1
output=$(DISPLAY=$x11 xdotool search --name 'Weston Compositor' | head -1)

# Native Wayland only: DISPLAY is not there for Qt to fall back to.
on_wayland() { env -u DISPLAY WAYLAND_DISPLAY=wayland-check WAYLAND_DEBUG=1 "$@"; }

# The main window.
on_wayland "$program" >"$work/window.out" 2>"$work/window.err" &
window=$!
pids+=($window)
check "the window is a native toplevel with app id tolvane" \
    waitfor "$work/window.err" 'xdg_toplevel@[0-9]*\.set_app_id("tolvane")'
check "the window is titled Brevorn" grep -q 'xdg_toplevel@[0-9]*\.set_title("Brevorn")' \
    "$work/window.err"
check "the window draws" waitfor "$work/window.err" 'wl_surface@[0-9]*\.attach(wl_buffer'
kill "$window"
wait "$window" 2>/dev/null

# The command-line dialog: confirm with 'y'.
echo secret >"$work/files/victim.txt"
echo keep >"$work/files/neighbour.txt"
on_wayland "$program" -- "$work/files/victim.txt" >"$work/dialog.out" 2>"$work/dialog.err" &
dialog=$!
pids+=($dialog)
check "the confirmation is a native toplevel" \
    waitfor "$work/dialog.err" 'xdg_toplevel@[0-9]*\.set_title("Brevorn")'
sleep 1
# Xvfb runs no window manager: keys go to the window under the pointer, Weston's output,
# which passes them to the toplevel it focused (the box, as it opened).
DISPLAY=$x11 xdotool mousemove --window "$output" 1000 740 2>/dev/null
sleep 0.5
DISPLAY=$x11 xdotool key --window "$output" y 2>/dev/null
status=124
for i in $(seq 600); do
    kill -0 "$dialog" 2>/dev/null || { wait "$dialog"; status=$?; break; }
    # Where the temporary folder's volume needs a medium note (an overlay root, a /tmp in
    # memory) a clean run closes with the notes: Enter answers them once the file is gone.
    if [ $((i % 20)) -eq 0 ] && [ ! -e "$work/files/victim.txt" ]; then
        DISPLAY=$x11 xdotool key --window "$output" Return 2>/dev/null
    fi
    sleep 0.1
done
check "the dialog erased after 'y' and ended with status 0 (was $status)" \
    test "$status" -eq 0 -a ! -e "$work/files/victim.txt"
check "the progress window was native" grep -q 'set_title("Erasing files")' "$work/dialog.err"
check "the neighbour stays" grep -q keep "$work/files/neighbour.txt"

# Without the plugin: a private mount namespace shows Qt a platforms folder without it.
mkdir "$work/platforms"
cp "$plugins"/*.so "$work/platforms/" && rm -f "$work/platforms"/libqwayland-*.so
without_plugin() {
    unshare -m sh -c 'mount --bind "$1" "$2" && shift 2 && exec "$@"' sh \
        "$work/platforms" "$plugins" env -u DISPLAY WAYLAND_DISPLAY=wayland-check "$@"
}
if without_plugin true 2>/dev/null; then
    without_plugin "$program" >"$work/noplugin.out" 2>"$work/noplugin.err"
    status=$?
    cat "$work/noplugin.err"
    check "no plugin, no paths: status 1 (was $status)" test "$status" -eq 1
    check "no plugin: the message names qt6-wayland and QT_QPA_PLATFORM=xcb" \
        grep -q 'qt6-wayland.*QT_QPA_PLATFORM=xcb' "$work/noplugin.err"
    echo secret >"$work/files/second.txt"
    echo y | without_plugin "$program" -- "$work/files/second.txt" >"$work/noplugin2.out" \
        2>"$work/noplugin2.err"
    status=$?
    cat "$work/noplugin2.err"
    check "no plugin, a path: the terminal run erased it (status $status)" \
        test "$status" -eq 0 -a ! -e "$work/files/second.txt"
    check "no plugin, a path: said why it runs in the terminal" \
        grep -q 'qt6-wayland.*running in the terminal' "$work/noplugin2.err"
else
    echo "SKIP: no private mount namespace here (the plugin cannot be hidden)"
fi

# Wayland asked for, only X there.
env -u WAYLAND_DISPLAY DISPLAY="$x11" QT_QPA_PLATFORM=wayland "$program" \
    >"$work/asked.out" 2>"$work/asked.err"
status=$?
cat "$work/asked.err"
check "wayland asked for, only X: status 1 (was $status)" test "$status" -eq 1
check "wayland asked for, only X: WAYLAND_DISPLAY is named" \
    grep -q 'WAYLAND_DISPLAY is not set' "$work/asked.err"
check "wayland asked for, only X: DISPLAY is not blamed" \
    bash -c "! grep -q 'DISPLAY=$x11' '$work/asked.err'"

[ "$failures" -eq 0 ] || { echo "$failures failed"; exit 1; }
echo "all Wayland checks passed"
