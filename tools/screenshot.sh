#!/usr/bin/env bash
# Renders the main dialog and the About box of the real morvanti.exe under Wine on a private Xvfb
# display and saves them as docs/screenshot-main.png and docs/screenshot-about.png, and the About
# box at 144 and 192 DPI as docs/screenshot-about-144.png and docs/screenshot-about-192.png. Fails
# when the About picture is cut by its control, stands on a ground of its own or does not follow
# the DPI.
#
#   tools/screenshot.sh                 set up, build as tools/run.sh does (build/demo), render
#   tools/screenshot.sh --build DIR     use the morvanti.exe and e2e_driver.exe of a build in DIR
#   tools/screenshot.sh --out DIR       write the pictures into DIR instead of docs/
#
# The program runs against a demo Opera installation with a fixed script, in a Wine prefix of its
# own (BUILD/screenshot/wineprefix), under the zh_CN.UTF-8 locale (code page 936) as its users
# have it. e2e_driver starts it on a desktop of its own and, for the About box, sends the About
# command (104). The driver cannot wait for a picture to be taken, so it waits for the program to
# end, and this script closes each window after taking it the way a window manager's close box
# does (WM_DELETE_WINDOW), which the program handles as Esc or its Close button.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
caller=$PWD
cd "$root"

die() { echo "screenshot: $*" >&2; exit 1; }
absolute() { case $1 in /*) echo "$1" ;; *) echo "$caller/$1" ;; esac; }

build=${MORVANTI_BUILD:-}
out=$root/docs
while [ $# -gt 0 ]; do
    case $1 in
        --build) build=$(absolute "${2:?--build needs a folder}"); shift 2 ;;
        --out) out=$(absolute "${2:?--out needs a folder}"); shift 2 ;;
        -h|--help) sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) die "unknown argument: $1 (see --help)" ;;
    esac
done

# ImageMagick by its full path: another program called "convert" or "import" may come first.
magick_bin=/usr/bin
if [ -z "$build" ]; then
    bash tools/setup.sh
    # The 32-bit program where this host runs 32-bit programs, else its x86-64 build.
    source tools/host-arch.sh
    source tools/build.sh
    preset=$(morvanti_run_preset demo)
    build=$root/build/$preset
    morvanti_build "$preset" "morvanti.exe and the e2e driver for $MORVANTI_RUN_ARCH" "about a minute" \
        morvanti e2e_driver
fi
exe=$build/app/morvanti.exe
driver=$build/tests/e2e/e2e_driver.exe
for f in "$exe" "$driver"; do [ -f "$f" ] || die "no $f: build the targets morvanti and e2e_driver"; done
for tool in import convert identify; do
    [ -x "$magick_bin/$tool" ] || die "ImageMagick's $tool is missing (run tools/setup.sh)"
done
command -v xwininfo >/dev/null 2>&1 || die "xwininfo is missing (run tools/setup.sh)"
if [ -x /usr/bin/python3 ]; then python=/usr/bin/python3; else
    python=$(command -v python3) || die "python3 is missing (run tools/setup.sh)"
fi

work=$build/screenshot
export MORVANTI_WINEPREFIX=$work/wineprefix
source tools/wine-env.sh
source tools/demo-opera.sh
source tools/xvfb.sh
morvanti_wine_locale zh_CN.UTF-8 || die "the locale zh_CN.UTF-8 is missing (run tools/setup.sh)"

driver_pid=
morvanti_xvfb_pid=
cleanup() {
    [ -z "$driver_pid" ] || kill "$driver_pid" 2>/dev/null || true
    morvanti_wine_stop
    [ -z "$morvanti_xvfb_pid" ] || kill "$morvanti_xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

# A display of our own, started before Wine so that everything Wine shows lands on it.
morvanti_xvfb_start 190 220 || die "no free X display"
# A server of this prefix left from an interrupted run would still serve its old display.
morvanti_wine_stop
morvanti_wine_start
# Wine draws the windows' frames and captions itself: Xvfb has no window manager to do it. The
# caption buttons are glyphs of the Marlett font, which Wine does not find on its own here; the
# caret stays on instead of blinking, so that a picture does not depend on the moment it is taken.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null
wine reg add 'HKCU\Control Panel\Desktop' /v CursorBlinkRate /d -1 /f >/dev/null 2>&1 </dev/null
marlett=/usr/share/wine/fonts/marlett.ttf
[ -f "$marlett" ] || die "no $marlett (package fonts-wine; run tools/setup.sh)"
cp "$marlett" "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf"
wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts' /v 'Marlett (TrueType)' \
    /d marlett.ttf /f >/dev/null 2>&1 </dev/null

# The demo installation, with a script written anew so that every run shows the same lists.
morvanti_demo_opera '// ==UserScript==' '// @name Autorender in IE' \
    '//@include http://intranet.example.com/*' '//@include http://oa.example.com/*' \
    '//@include https://ebank.example.com/corporate/*' '//@include http://*.gov.example.cn/*' \
    '//@exclude http://intranet.example.com/public/*' '//@exclude http://oa.example.com/m/*' \
    '// ==/UserScript==' '' 'opera.addEventListener("BeforeEvent.load", function () {}, false);'

bin=$work/bin
mkdir -p "$bin"
cp "$exe" "$bin/morvanti.exe"
exe_win=$(winepath -w "$bin/morvanti.exe" 2>/dev/null </dev/null)

# Sends the window-manager protocol message $2 (WM_DELETE_WINDOW: the close box was pressed;
# WM_TAKE_FOCUS: the window was clicked) to the X window $1, as a window manager does.
wm_protocol() {
    "$python" - "$1" "$2" <<'EOF'
import ctypes, sys
from ctypes import c_int, c_long, c_ulong, c_void_p, c_char_p

class ClientMessage(ctypes.Structure):
    _fields_ = [("type", c_int), ("serial", c_ulong), ("send_event", c_int), ("display", c_void_p),
                ("window", c_ulong), ("message_type", c_ulong), ("format", c_int), ("l", c_long * 5)]

class Event(ctypes.Union):  # XEvent: 24 longs whatever its kind
    _fields_ = [("xclient", ClientMessage), ("pad", c_long * 24)]

x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = c_void_p
x.XOpenDisplay.argtypes = [c_char_p]
x.XInternAtom.restype = c_ulong
x.XInternAtom.argtypes = [c_void_p, c_char_p, c_int]
x.XSendEvent.argtypes = [c_void_p, c_ulong, c_int, c_long, c_void_p]
x.XFlush.argtypes = [c_void_p]
x.XCloseDisplay.argtypes = [c_void_p]

display = x.XOpenDisplay(None)
if not display:
    sys.exit("screenshot: cannot open the display")
window = int(sys.argv[1], 0)
event = Event()
event.xclient.type = 33  # ClientMessage
event.xclient.window = window
event.xclient.message_type = x.XInternAtom(display, b"WM_PROTOCOLS", 0)
event.xclient.format = 32
event.xclient.l[0] = x.XInternAtom(display, sys.argv[2].encode(), 0)
ok = x.XSendEvent(display, window, 0, 0, ctypes.byref(event))
x.XFlush(display)
x.XCloseDisplay(display)
sys.exit(0 if ok else "screenshot: XSendEvent failed")
EOF
}
close_window() { wm_protocol "$1" WM_DELETE_WINDOW; }
# Makes the window the active one, so that its caption shows as a person sees it while working.
activate_window() { wm_protocol "$1" WM_TAKE_FOCUS; }

# The X window of morvanti.exe whose title is $1, waiting up to 20 seconds for it.
find_window() {
    local id
    for _ in $(seq 200); do
        id=$(LC_ALL=C.UTF-8 xwininfo -root -tree 2>/dev/null \
            | awk -v want="\"$1\": (\"morvanti.exe\"" 'index($0, want) { print $1; exit }')
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}

# Takes window $1 into the PNG $2 once it has finished painting: two pictures a moment apart
# must show the same pixels. Metadata (times) is left out so that an unchanged window gives an
# unchanged file.
capture() {
    local id=$1 target=$2 previous= current= shot="$work/shot.png"
    for _ in $(seq 40); do
        sleep 0.25
        "$magick_bin/import" -window "$id" "$shot" 2>/dev/null || continue
        current=$("$magick_bin/identify" -format '%#' "$shot")
        [ "$current" = "$previous" ] && break
        previous=$current
    done
    [ -n "$current" ] && [ "$current" = "$previous" ] || die "window $id could not be taken, or kept changing"
    "$magick_bin/convert" "$shot" -strip -define png:exclude-chunks=date,time "$target"
    rm -f "$shot"
    # A blank or one-coloured picture means nothing was drawn.
    local colours
    colours=$("$magick_bin/identify" -format '%k' "$target")
    [ "$colours" -ge 16 ] || die "$target has only $colours colours: the window was not drawn"
    echo "$target: $("$magick_bin/identify" -format '%wx%h' "$target")"
}

# run_program NAME COMMANDS...: starts the program under the driver in the background, which
# runs COMMANDS after the dialog is up and then waits for the program to end.
run_program() {
    local name=$1
    shift
    # Each run finds the script through Opera, as on first use: the settings file that the
    # previous run's Close wrote goes.
    rm -f "$bin/autorender_in_ie.ini" "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/autorender_in_ie.ini
    driver_log=$work/driver-$name.log
    wine "$driver" desktop "morvanti-shot-$$" timeout 60000 start "$exe_win" '' wait-dialog "$@" \
        expect-exit 0 >"$driver_log" 2>&1 </dev/null &
    driver_pid=$!
}

# Waits for the driver, which must have seen the program end with 0.
finish_program() {
    local rc=0
    wait "$driver_pid" || rc=$?
    driver_pid=
    grep -q '^exit 0' "$driver_log" && [ "$rc" -eq 0 ] \
        || { cat "$driver_log" >&2; die "the driver ended with $rc"; }
}

mkdir -p "$out"
echo "screenshot: taking the main dialog and the About box under Wine (about 20 s)"

# The DPI of the prefix's settings, which Wine gives the program; a run that was cut short may
# have left another.
set_dpi() { wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1 </dev/null; }

# --- The main dialog with the demo lists, at 96 DPI.
set_dpi 96
run_program main
main_id=$(find_window Morvanti) || { cat "$driver_log" >&2; die "the main dialog did not appear"; }
activate_window "$main_id"
capture "$main_id" "$out/screenshot-main.png"
close_window "$main_id"
finish_program

# Checks the About box's picture in the PNG $1 taken at $2 DPI: the driver's log names its
# control's place on the screen, xwininfo the window's. The picture must stand whole inside its
# control, on the dialog's own face colour (the pixel left of the control), and be drawn at the
# size the DPI asks: 40 by 42 pixels of drawing at 96 DPI, in proportion above.
check_about_picture() {
    local rect origin
    rect=$(sed -n 's/^image 1005 (\(-*[0-9]*\),\(-*[0-9]*\))-(\(-*[0-9]*\),\(-*[0-9]*\)).*/\1 \2 \3 \4/p' "$driver_log")
    origin=$(LC_ALL=C xwininfo -id "$about_id" | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF } END { print x, y }')
    [ -n "$rect" ] && [ -n "$origin" ] || die "the picture's place is not known (driver log $driver_log)"
    "$magick_bin/convert" "$1" -depth 8 rgb:- | "$python" -c '
import sys
dpi, width, height, ox, oy, left, top, right, bottom = map(int, sys.argv[1:10])
data = sys.stdin.buffer.read()
pixel = lambda x, y: data[(y * width + x) * 3:(y * width + x) * 3 + 3]
left, right, top, bottom = left - ox, right - ox, top - oy, bottom - oy
face = pixel(left - 2, (top + bottom) // 2)
drawn = [(x, y) for y in range(top, bottom) for x in range(left, right) if pixel(x, y) != face]
if not drawn:
    sys.exit("no picture in its control")
xs, ys = [x for x, _ in drawn], [y for _, y in drawn]
w, h = max(xs) - min(xs) + 1, max(ys) - min(ys) + 1
print("  picture %dx%d in a control of %dx%d at %d DPI, background %s" % (w, h, right - left, bottom - top, dpi, tuple(face)))
if min(xs) == left or max(xs) == right - 1 or min(ys) == top or max(ys) == bottom - 1:
    sys.exit("the picture is cut by its control, or stands on a background of its own")
# The drawing leaves the corners of its bounds empty; a ground of its own fills them.
if all(pixel(x, y) != face for x in (min(xs), max(xs)) for y in (min(ys), max(ys))):
    sys.exit("the picture stands on a background of its own, not on the dialog face")
want_w, want_h = 40 * dpi / 96, 42 * dpi / 96
if abs(w - want_w) > 1 + want_w * 0.04 or abs(h - want_h) > 1 + want_h * 0.04:
    sys.exit("the picture should be about %dx%d at %d DPI" % (want_w, want_h, dpi))
' "$2" $("$magick_bin/identify" -format '%w %h' "$1") $origin $rect || die "$1: the About picture is wrong"
}

# --- The About box, opened from the dialog, at 100 %, 150 % and 200 % (96, 144 and 192 DPI): the
# program is per-monitor DPI aware and Wine gives it the DPI of the prefix's settings. Last, opened
# at 192 DPI and moved to a monitor of 96 DPI (WM_DPICHANGED, as large as before): it must show
# the picture for 96 DPI (checked, not kept).
for run in 96 144 192 192to96; do
    dpi=${run%to*} shown=${run#*to} changed=()
    [ "$run" = "$dpi" ] || changed=(dpi-changed "$shown" 50,50,850,650)
    set_dpi "$dpi"
    run_program about click 104 wait-window '关于 Morvanti' ${changed[@]+"${changed[@]}"} expect-image 1005
    about_id=$(find_window '关于 Morvanti') || { cat "$driver_log" >&2; die "the About box did not appear"; }
    # The driver reports the picture's place once its commands have been taken.
    for _ in $(seq 200); do grep -q '^image 1005' "$driver_log" && break; sleep 0.1; done
    activate_window "$about_id"
    target=$out/screenshot-about.png
    [ "$dpi" -eq 96 ] || target=$out/screenshot-about-$dpi.png
    [ "$run" = "$dpi" ] || target=$work/about-$run.png
    capture "$about_id" "$target"
    check_about_picture "$target" "$shown"
    close_window "$about_id"
    # The main dialog takes the close only once the About box is gone and it is enabled again.
    main_id=$(find_window Morvanti)
    for _ in $(seq 50); do
        # (Not "xwininfo | grep -q": under pipefail xwininfo's SIGPIPE would end the wait at once.)
        grep -qF '"关于 Morvanti"' < <(LC_ALL=C.UTF-8 xwininfo -root -tree 2>/dev/null) || break
        sleep 0.1
    done
    close_window "$main_id"
    finish_program
done
set_dpi 96
