#!/bin/sh
# Times quillet-cli scan of an emulated iPhone with 2,000 apps through the real device tools,
# the launchers and the helpers (tests/device), against the raw listing measured in the same run:
# ideviceinstaller's plain listing through the Tools launcher (quillet-applist answers it) and
# the listing the scan itself asks for. A whole scan (name, listing, facts, health, save) should
# cost at most three times the plain listing; the device's icons are left out of it (springboard
# refuses), and timed after it: 300 apps without store artwork, whose icons a first scan may
# fetch in at most 2 s more than a scan without them, and a second scan, which finds them all
# kept, in no measurable time more. Each time is the best of RUNS (default 3). Linux; run after a
# build:
#   bench/device-scan.sh [BUILD_FOLDER]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/quillet-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
echo '{"devices": [{"refuse": ["com.apple.springboardservices"]}]}' >"$work/no-icons.json"
# Nothing listens on port 9: the store lookup fails at once and nothing leaves the machine.
"$here/../tests/device/with-emulator.sh" "$work/no-icons.json" --apps 2000 --chunk 100 \
    --log "$work/requests" -- sh -c '
    build=$1 work=$2 runs=${RUNS:-3}
    tools=$build/resources/Tools
    now() { date +%s%N; }
    # The best of $runs runs of the command, in milliseconds.
    best() {
        least=
        i=0
        while [ "$i" -lt "$runs" ]; do
            start=$(now)
            "$@" >/dev/null 2>&1 || { echo "(failed)"; return 0; }
            took=$(( ($(now) - start) / 1000000 ))
            if [ -z "$least" ] || [ "$took" -lt "$least" ]; then least=$took; fi
            i=$((i + 1))
        done
        echo "$least"
    }
    scan() {
        rm -rf "$work/data"
        "$build/app/quillet-cli" scan --data-dir "$work/data" --resources "$build/resources" \
            --lookup-url http://127.0.0.1:9/lookup
    }
    udid=$("$tools/idevice_id" -l)

    scan_ms=$(best scan)
    # The attributes the scan asked for, from the emulator'"'"'s log of its requests.
    set -- $(python3 -c "
import json, sys
for line in open(sys.argv[1]):
    entry = json.loads(line)
    options = entry[\"request\"].get(\"ClientOptions\") or {}
    if entry[\"channel\"] == \"installation_proxy\" and \"ReturnAttributes\" in options:
        attributes = options[\"ReturnAttributes\"]
print(\" \".join(\"--attribute \" + a for a in attributes))
" "$work/requests")
    plain_ms=$(best "$tools/ideviceinstaller" -u "$udid" list --xml)
    asked_ms=$(best "$tools/ideviceinstaller" -u "$udid" list --all --xml "$@")
    name_ms=$(best "$tools/idevicename" -u "$udid")
    health_ms=$(best "$tools/quillet-devicehealth" -u "$udid" --domain "" \
        --domain com.apple.disk_usage --domain com.apple.mobile.battery \
        --domain com.apple.mobile.backup --domain com.apple.fmip \
        --domain com.apple.security.mac.amfi)
    info() {
        for domain in "" com.apple.disk_usage com.apple.mobile.battery com.apple.mobile.backup \
            com.apple.fmip com.apple.security.mac.amfi; do
            "$tools/ideviceinfo" -u "$udid" ${domain:+-q "$domain"} -x || return 1
        done
    }
    info_ms=$(best info)

    echo "raw listing, ideviceinstaller list --xml:          $plain_ms ms"
    echo "the scan'"'"'s listing, list --all --xml --attribute ...: $asked_ms ms"
    echo "device scan, 2,000 apps:                          $scan_ms ms"
    echo "  ratio to the raw listing: $(awk "BEGIN { printf \"%.2f\", $scan_ms / $plain_ms }")," \
        "to the scan'"'"'s listing: $(awk "BEGIN { printf \"%.2f\", $scan_ms / $asked_ms }") (goal: at most 3)"
    echo "parts: idevicename $name_ms ms; facts and health in one helper session $health_ms ms;" \
        "six ideviceinfo calls (the fallback) $info_ms ms"
' sh "$build" "$work"

# The same 300 apps on two devices; the second's springboard refuses, as if it gave no icons.
echo '{"devices": [{"udid": "00008030-00011A2B3C4D5E6F"},
    {"udid": "00008030-00021A2B3C4D5E6F", "refuse": ["com.apple.springboardservices"]}],
    "apps": 300}' >"$work/icons.json"
"$here/../tests/device/with-emulator.sh" "$work/icons.json" -- sh -c '
    build=$1 work=$2 runs=${RUNS:-3}
    now() { date +%s%N; }
    # The best of $runs scans of device $1 into data folder $2 in milliseconds, each into a new
    # one unless $3 is "kept".
    best() {
        least=
        i=0
        while [ "$i" -lt "$runs" ]; do
            [ "${3-}" = kept ] || rm -rf "${work:?}/$2"
            start=$(now)
            "$build/app/quillet-cli" scan --device "$1" --data-dir "$work/$2" \
                --resources "$build/resources" --lookup-url http://127.0.0.1:9/lookup \
                >/dev/null 2>&1 || { echo "(failed)"; return 0; }
            took=$(( ($(now) - start) / 1000000 ))
            if [ -z "$least" ] || [ "$took" -lt "$least" ]; then least=$took; fi
            i=$((i + 1))
        done
        echo "$least"
    }
    # Against scans without icons of the same kind: into a new data folder, then a kept one.
    without_ms=$(best 00008030-00021A2B3C4D5E6F plain)
    again_ms=$(best 00008030-00021A2B3C4D5E6F plain kept)
    first_ms=$(best 00008030-00011A2B3C4D5E6F icons)
    second_ms=$(best 00008030-00011A2B3C4D5E6F icons kept)
    kept=$(find "$work/icons/Icons" -type f -size +0 | wc -l)
    echo "device scan, 300 apps without store artwork: first scan $first_ms ms, without icons" \
        "$without_ms ms (+$((first_ms - without_ms)) ms, goal: at most 2,000); second scan" \
        "$second_ms ms, without icons $again_ms ms (+$((second_ms - again_ms)) ms, goal: none);" \
        "$kept icons kept"
' sh "$build" "$work"
