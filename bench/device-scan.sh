#!/bin/sh
# Times quillet-cli scan of an emulated iPhone with 2,000 apps through the real device tools,
# the launchers and the listing helper (tests/device), then the three ideviceinfo calls that read
# the device's facts, which should add at most 0.3 s to a scan. Linux; run after a build:
#   bench/device-scan.sh [BUILD_FOLDER]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/quillet-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
# Nothing listens on port 9: the store lookup fails at once and nothing leaves the machine.
"$here/../tests/device/with-emulator.sh" --apps 2000 --chunk 100 -- sh -c '
    start=$(date +%s%N)
    "$1/app/quillet-cli" scan --data-dir "$2" --resources "$1/resources" \
        --lookup-url http://127.0.0.1:9/lookup 2>/dev/null
    end=$(date +%s%N)
    echo "device scan, 2,000 apps: $(( (end - start) / 1000000 )) ms"

    tools=$1/resources/Tools
    udid=$("$tools/idevice_id" -l)
    start=$(date +%s%N)
    for domain in "" com.apple.disk_usage com.apple.mobile.battery; do
        "$tools/ideviceinfo" -u "$udid" ${domain:+-q "$domain"} -x >/dev/null
    done
    end=$(date +%s%N)
    echo "device facts, three ideviceinfo calls: $(( (end - start) / 1000000 )) ms"
' sh "$build" "$work/data"
