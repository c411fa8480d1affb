#!/usr/bin/env bash
# Installs what is missing, builds into build/ and runs the whole system on
# one PC: the competition server stand-in with demo data, the machine
# emulator on a pseudo-terminal and the client, configured for both. When
# the client closes (or on Ctrl-C) the stand-ins are stopped again.
set -euo pipefail
cd "$(dirname "$0")"

usage() {
    cat <<'EOF'
Usage: ./run.sh [options]

Starts kovrit-server (demo data), kovrit-rm3sim (emulated RM3 machine) and
the kovrit client with a config.json that points at both.

Options:
  --port N        server port on 127.0.0.1 (default: a free one)
  --no-sim PORT   no emulator: use the real machine on serial port PORT
                  (e.g. /dev/ttyUSB0); your user must be in group dialout
  --keep          keep the demo database (results of earlier runs)
  --tls           the server speaks HTTPS with the test certificate of
                  tests/server/tls; config.json trusts it through "ca"
  --dir DIR       demo files (config.json, database, logs); default build/demo
  --check         start and check the stand-ins, write config.json, stop
                  again; no client, no display needed
  --tour DIR      run the guided tour instead and write its screenshots to
                  DIR (uses Xvfb when there is no display)
  --no-build      skip package check and build (use an existing build)
  -h, --help      this text

Environment: KOVRIT_BUILD_DIR (default build), KOVRIT_NO_BUILD=1 as --no-build.
EOF
}

build=${KOVRIT_BUILD_DIR:-build}
port=0
device=
keep=0
demo=
check=0
tour=
tls=0
nobuild=${KOVRIT_NO_BUILD:-0}
while [ $# -gt 0 ]; do
    case $1 in
    --port) port=${2:?--port needs a number}; shift ;;
    --no-sim) device=${2:?--no-sim needs a serial port, e.g. /dev/ttyUSB0}; shift ;;
    --keep) keep=1 ;;
    --tls) tls=1 ;;
    --dir) demo=${2:?--dir needs a folder}; shift ;;
    --check) check=1 ;;
    --tour) tour=${2:?--tour needs a folder}; shift ;;
    --no-build) nobuild=1 ;;
    -h | --help) usage; exit 0 ;;
    *) echo "run.sh: unknown option $1 (see ./run.sh --help)" >&2; exit 2 ;;
    esac
    shift
done
case $port in
'' | *[!0-9]*) echo "run.sh: --port needs a number" >&2; exit 2 ;;
esac

if [ "$nobuild" != 1 ]; then
    source scripts/deps.sh
    kovrit_ensure_packages
    kovrit_build "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
build=$(cd "$build" && pwd)
demo=${demo:-$build/demo}

have_display() {
    [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ] || [ "${QT_QPA_PLATFORM:-}" = offscreen ]
}

if [ -n "$tour" ]; then
    mkdir -p "$tour"
    if have_display; then
        exec "$build/tools/tour/kovrit-tour" "$tour"
    elif command -v xvfb-run >/dev/null; then
        exec xvfb-run -a -s "-screen 0 1600x1000x24" "$build/tools/tour/kovrit-tour" "$tour"
    else
        QT_QPA_PLATFORM=offscreen exec "$build/tools/tour/kovrit-tour" "$tour"
    fi
fi

if [ "$check" != 1 ] && ! have_display; then
    echo "No display (DISPLAY is not set), so the kovrit window cannot be shown."
    echo "Run it on a desktop, or see the guided tour with screenshots instead:"
    echo "  ./run.sh --tour tour-pictures"
    exit 1
fi

mkdir -p "$demo"
demo=$(cd "$demo" && pwd)

# Everything started here is stopped here, whatever way the script ends.
pids=()
stop_all() {
    trap - EXIT INT TERM
    local p i
    for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null || true; done
    for i in $(seq 50); do
        local alive=0
        for p in "${pids[@]}"; do kill -0 "$p" 2>/dev/null && alive=1; done
        [ $alive = 0 ] && break
        sleep 0.1
    done
    for p in "${pids[@]}"; do kill -KILL "$p" 2>/dev/null || true; done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
    [ ${#pids[@]} = 0 ] || echo "Stand-ins stopped."
}
trap stop_all EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Waits until the file holds the text or the process has ended.
wait_for() {
    local file=$1 text=$2 pid=$3 i
    for i in $(seq 100); do
        grep -q "$text" "$file" 2>/dev/null && return 0
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    echo "run.sh: $(basename "$file" .log) did not start:" >&2
    cat "$file" >&2
    return 1
}

[ "$keep" = 1 ] || rm -f "$demo"/server.sqlite*
token=kovrit-demo-station
tls_args=()
ca=
if [ "$tls" = 1 ]; then
    tls_args=(--tls-cert "$PWD/tests/server/tls/server.pem" --tls-key "$PWD/tests/server/tls/server.key")
    ca=$PWD/tests/server/tls/ca.pem
fi
"$build/tools/server/kovrit-server" --listen "127.0.0.1:$port" --db "$demo/server.sqlite" \
    --seed-demo --station-token "$token" "${tls_args[@]}" >"$demo/server.log" 2>&1 &
pids+=($!)
wait_for "$demo/server.log" "listening on" $!
url=$(sed -n 's/^kovrit-server listening on //p' "$demo/server.log")

if [ -z "$device" ]; then
    device=$demo/rm3-port
    # About one shot in twenty comes doubtful, as on a real machine now and
    # then, so the demo shows the red target and the officer's correction.
    "$build/tools/rm3sim/kovrit-rm3sim" --auto --baud 2400 --doubtful 0.05 --link "$device" \
        >"$demo/rm3sim.log" 2>&1 &
    pids+=($!)
    wait_for "$demo/rm3sim.log" "/" $!
elif [ ! -w "$device" ]; then
    echo "Warning: $device is missing or not writable for $(id -un);"
    echo "  plug the machine in, or add the user to dialout: usermod -aG dialout $(id -un)"
fi

cat >"$demo/config.json" <<EOF
{
    "url": "$url",
    "jwt": "$token",
    "port": "$device",
    "ca": "$ca"
}
EOF

echo "Competition server: $url (log $demo/server.log)"
echo "Machine port:       $device"
echo "Configuration:      $demo/config.json"
if [ "$check" = 1 ]; then
    echo "Check done; stopping again."
    exit 0
fi

cat <<EOF

Demo login: user "aufsicht", password "kovrit-demo"
  1. Choose the competition "Kreismeisterschaft 2024", enter user and password, "Anmelden".
  2. Menu "Maschine" -> "Verbinden" (the status bar shows "Maschine: verbunden").
  3. Type card number 1001 into "Scheibe" and press Return
     (also 1002-1005, 1011-1014; air pistol: 1004, 1005).
  4. Watch the shots arrive, one a second; the finished card is saved by itself.
Close the window (or press Ctrl-C here) to stop everything.

EOF
(cd "$demo" && exec "$build/src/app/kovrit") >"$demo/kovrit.log" 2>&1 &
pids+=($!)
echo "kovrit started (log $demo/kovrit.log)."
rc=0
wait "${pids[-1]}" || rc=$?
if [ $rc != 0 ]; then
    echo "kovrit ended with code $rc; the end of its log:"
    tail -n 5 "$demo/kovrit.log"
fi
