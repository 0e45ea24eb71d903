#!/bin/sh
# Runs a private CUPS scheduler for the print tests, beside any system one:
#   scripts/cups-test-server.sh start DIR   prints the CUPS_SERVER value
#   scripts/cups-test-server.sh stop DIR
# Everything it writes (configuration, spool, logs, queues, job output) stays
# under DIR; it listens only on DIR/cups.sock, so /etc/cups and the system's
# scheduler are never touched. Queues made on start:
#   jpegq  Generic PDF printer writing to DIR/out/jpeg.prn (accepts JPEG)
#   textq  text-only printer writing to DIR/out/text.prn (rejects JPEG)
set -eu

usage() {
    echo "usage: $0 start DIR | stop DIR" >&2
    exit 2
}

[ $# -eq 2 ] || usage
action="$1"
mkdir -p "$2"
dir="$(cd "$2" && pwd)"
socket="$dir/cups.sock"
pidfile="$dir/cupsd.pid"

PATH="$PATH:/usr/sbin:/sbin"
export PATH

running() {
    [ -f "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null
}

stop() {
    running || { rm -f "$pidfile"; return 0; }
    pid="$(cat "$pidfile")"
    kill "$pid"
    tries=0
    while kill -0 "$pid" 2>/dev/null; do
        tries=$((tries + 1))
        if [ "$tries" -gt 50 ]; then
            kill -9 "$pid" 2>/dev/null || true
            break
        fi
        sleep 0.1
    done
    rm -f "$pidfile" "$socket"
}

write_config() {
    mkdir -p "$dir/spool" "$dir/tmp" "$dir/cache" "$dir/state" "$dir/log" "$dir/ppd" "$dir/ssl" "$dir/out"
    # Filters run as the unprivileged "lp" user and must reach the spool,
    # the temporary folder and the output folder.
    chmod 755 "$dir" "$dir/out"
    chmod 1777 "$dir/tmp"
    cat >"$dir/cups-files.conf" <<EOF
FileDevice Yes
ServerRoot $dir
RequestRoot $dir/spool
TempDir $dir/tmp
CacheDir $dir/cache
StateDir $dir/state
ServerKeychain $dir/ssl
Printcap $dir/printcap
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
ServerBin /usr/lib/cups
DataDir /usr/share/cups
SystemGroup root
EOF
    cat >"$dir/cupsd.conf" <<EOF
Listen $socket
Browsing No
WebInterface No
LogLevel info
<Location />
  Order allow,deny
  Allow all
</Location>
<Location /admin>
  Order allow,deny
  Allow all
</Location>
EOF
}

start() {
    if ! command -v cupsd >/dev/null 2>&1; then
        echo "cupsd is not installed" >&2
        exit 3
    fi
    stop
    write_config
    cupsd -t -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" >&2
    cupsd -f -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" </dev/null >>"$dir/log/cupsd.out" 2>&1 &
    echo $! >"$pidfile"
    # A start that fails half-way leaves no scheduler behind.
    trap 'status=$?; [ "$status" -eq 0 ] || stop; exit "$status"' EXIT

    CUPS_SERVER="$socket"
    export CUPS_SERVER
    tries=0
    # lpstat -r exits 0 either way; only its words tell.
    until [ "$(LC_ALL=C lpstat -r 2>/dev/null)" = "scheduler is running" ]; do
        tries=$((tries + 1))
        if [ "$tries" -gt 100 ] || ! running; then
            echo "the scheduler did not start; see $dir/log" >&2
            exit 1
        fi
        sleep 0.1
    done

    # lpadmin warns that printer drivers are deprecated; the queues work.
    lpadmin -p jpegq -E -v "file://$dir/out/jpeg.prn" \
        -m lsb/usr/cupsfilters/Generic-PDF_Printer-PDF.ppd >&2
    lpadmin -p textq -E -v "file://$dir/out/text.prn" \
        -m drv:///cupsfilters.drv/textonly.ppd >&2
    trap - EXIT
    echo "$socket"
}

case "$action" in
start) start ;;
stop) stop ;;
*) usage ;;
esac
