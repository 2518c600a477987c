# What every wine run of the tests stands on, sourced by harness.sh and
# ctest_wine.sh: a display of its own (Xvfb), a wine prefix, and the COM
# ports mapped so that none names a real serial device. COM1 to COM8 are set
# to the simulator's pseudo-terminals or to nothing in the prefix's registry
# (wine then never gives one of them to a device it finds), any port wine
# adds on its own for a real device is removed, and every link is read back
# before a program of the tests is started.

export WINEDEBUG=-all
# winemenubuilder off: an installer's Start-menu entry must not reach the
# desktop of the machine that runs the tests.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"

# Starts Xvfb on a display number it picks itself among the free ones and
# returns once the server answers; sets DISPLAY and display_pid. Xvfb writes
# the number to the pipe when it accepts connections, so no guessing of
# free numbers and no waiting by the clock.
start_display() {
    local log=$1 pipe number
    pipe=$(mktemp -u "${TMPDIR:-/tmp}/velk2-xvfb-XXXXXX")
    mkfifo "$pipe"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$pipe" >"$log" 2>&1 &
    display_pid=$!
    number=
    read -r -t 30 number <"$pipe" || true
    rm -f "$pipe"
    if [ -z "$number" ] || ! xdpyinfo -display ":$number" >/dev/null 2>&1; then
        echo "Xvfb did not come up (log: $log)"
        kill "$display_pid" 2>/dev/null || true
        return 1
    fi
    export DISPLAY=":$number"
}

# Makes the prefix $WINEPREFIX once; a prefix whose making was cut short is
# made anew. The fonts of wine's own set, for the panel's Fixedsys.
make_prefix() {
    if [ ! -e "$WINEPREFIX/.velk2-made" ]; then
        echo "new wine prefix $WINEPREFIX"
        rm -rf "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1 || true
        wineserver -w
        if [ ! -d "$WINEPREFIX/drive_c/windows" ]; then
            echo "wineboot made no prefix at $WINEPREFIX"
            return 1
        fi
        touch "$WINEPREFIX/.velk2-made"
    fi
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
}

# The display's DPI as wine 8 reads it (HKCU\Control Panel\Desktop\LogPixels)
# at the next start of the prefix; map_ports restarts it.
set_dpi() {
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}

# Reads back COM1..COM8: each must be the pseudo-terminal given as
# "COMn=/dev/pts/N" or, when none is given, absent; and no port of any number
# may name anything but a pseudo-terminal.
check_ports() {
    declare -A want=()
    local pair n link target
    for pair in "$@"; do want[${pair%%=*}]=${pair#*=}; done
    for n in 1 2 3 4 5 6 7 8; do
        link=$WINEPREFIX/dosdevices/com$n
        target=$(readlink "$link" 2>/dev/null || true)
        if [ "$target" != "${want[COM$n]:-}" ]; then
            echo "COM$n maps to '$target', not '${want[COM$n]:-}': stopping before any byte is sent"
            return 1
        fi
    done
    for link in "$WINEPREFIX"/dosdevices/com*; do
        [ -L "$link" ] || continue
        case $(readlink "$link") in
        /dev/pts/*) ;;
        *)
            echo "real device at $link: stopping before any byte is sent"
            return 1
            ;;
        esac
    done
}

# Maps COM1..COM8: "COMn=/dev/pts/N" pairs given, every other one to nothing;
# restarts the prefix (wine reads its ports at start) with a server that
# stays up until it is stopped, removes what wine added on its own for real
# devices, and reads every link back.
map_ports() {
    declare -A want=()
    local pair n link reg
    for pair in "$@"; do want[${pair%%=*}]=${pair#*=}; done
    reg=$(mktemp "${TMPDIR:-/tmp}/velk2-ports-XXXXXX.reg")
    {
        printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n'
        for n in 1 2 3 4 5 6 7 8; do printf '"COM%d"="%s"\r\n' "$n" "${want[COM$n]:-}"; done
    } >"$reg"
    wine regedit /S "$(winepath -w "$reg")" >/dev/null 2>&1
    rm -f "$reg"
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w
    wineserver -p >/dev/null 2>&1
    wine cmd /c exit >/dev/null 2>&1
    for link in "$WINEPREFIX"/dosdevices/com*; do
        [ -L "$link" ] || continue
        case $(readlink "$link") in /dev/pts/*) ;; *) rm -f "$link" ;; esac
    done
    check_ports "$@"
}
