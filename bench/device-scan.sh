#!/bin/sh
# Times quillet-cli scan of an emulated iPhone with 2,000 apps through the real device tools,
# the launchers and the listing helper (tests/device). Linux; run after a build:
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
' sh "$build" "$work/data"
