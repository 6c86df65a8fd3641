#!/usr/bin/env bash
# Usage: with-emulator.sh [CONFIG] [EMULATOR OPTIONS...] -- COMMAND [ARGUMENTS...]
#
# Runs COMMAND against an emulated iPhone (emulator.py with the given configuration and options)
# served at the default usbmuxd socket, /var/run/usbmuxd, the one people's machines use: it
# happens in a private mount namespace with a tmpfs over /run, so a real usbmuxd is never
# touched. Exits with COMMAND's status, or 1 when the emulator cannot be set up.
here=$(cd "$(dirname "$0")" && pwd)

if [ -z "$QUILLET_EMULATOR_INSIDE" ]; then
    # Root needs no user namespace; anyone else does.
    if [ "$(id -u)" = 0 ] && unshare --mount true 2>/dev/null; then
        exec env QUILLET_EMULATOR_INSIDE=1 unshare --mount --propagation private "$0" "$@"
    fi
    if unshare --user --map-root-user --mount true 2>/dev/null; then
        exec env QUILLET_EMULATOR_INSIDE=1 unshare --user --map-root-user --mount \
            --propagation private "$0" "$@"
    fi
    echo "with-emulator.sh: cannot make a private mount namespace here (unshare --mount failed," \
        "also as a user namespace); the device emulator needs one to serve /var/run/usbmuxd" \
        "without touching this machine's usbmuxd" >&2
    exit 1
fi

# The emulator's arguments come before "--", the command after it.
emulator_args=()
while [[ $# -gt 0 && $1 != -- ]]; do
    emulator_args+=("$1")
    shift
done
if [[ $# -lt 2 ]]; then
    echo "usage: with-emulator.sh [CONFIG] [EMULATOR OPTIONS...] -- COMMAND [ARGUMENTS...]" >&2
    exit 2
fi
shift

fail() {
    echo "with-emulator.sh: $*" >&2
    exit 1
}

mount -t tmpfs -o mode=755 quillet-run /run || fail "cannot mount a tmpfs over /run"
if [ -d /var/run ] && ! [ -L /var/run ]; then
    mount -t tmpfs -o mode=755 quillet-var-run /var/run || fail "cannot mount a tmpfs over /var/run"
fi

ready=/run/quillet-emulator.ready
python3 "$here/emulator.py" "${emulator_args[@]}" --socket /var/run/usbmuxd --ready "$ready" &
emulator=$!

# Python and a cold disk can be slow on a busy machine; ten seconds is plenty.
tries=0
while ! [ -e "$ready" ]; do
    if ! kill -0 "$emulator" 2>/dev/null; then
        wait "$emulator"
        fail "the emulator ended before serving (status $?)"
    fi
    tries=$((tries + 1))
    [ "$tries" -le 200 ] || { kill "$emulator"; fail "the emulator did not start within 10 s"; }
    sleep 0.05
done

"$@"
status=$?
kill "$emulator" 2>/dev/null
wait "$emulator" 2>/dev/null
exit "$status"
