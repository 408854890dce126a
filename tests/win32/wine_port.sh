# shellcheck shell=bash
# Sourced: link_wine_port N DEVICE makes COMn of $WINEPREFIX lead to DEVICE (a terminal's
# path), and unlink_wine_port N undoes it.
#
# Wine gives COM1, COM2, ... to the machine's /dev/ttyS* devices unless the prefix's
# HKLM\Software\Wine\Ports names another device, and reads that key only as it starts. The
# prefix therefore names a link of its own, $WINEPREFIX/comN, once, and each run points the
# link at the device of the moment.

link_wine_port() {
    local number=$1 device=$2
    local own=$WINEPREFIX/com$number
    if [[ ! -d $WINEPREFIX/dosdevices ]]; then
        wineboot --init >/dev/null 2>&1
    fi
    # A server of the prefix's own with its output dropped: one that a test program starts
    # inherits the program's output and lists its objects there as it ends.
    wineserver -p3 >/dev/null 2>&1 || true
    if [[ $(readlink "$WINEPREFIX/dosdevices/com$number" 2>/dev/null) != "$own" ]]; then
        wine reg add 'HKLM\Software\Wine\Ports' /v "COM$number" /d "$own" /f >/dev/null 2>&1
        wineserver -k >/dev/null 2>&1 || true
        wineserver -w >/dev/null 2>&1 || true
        ln -sfn "$own" "$WINEPREFIX/dosdevices/com$number"
    fi
    ln -sfn "$device" "$own"
}

unlink_wine_port() {
    rm -f "$WINEPREFIX/com$1"
}
