#!/bin/sh
# Installs the build into a temporary prefix and checks that the installed programs find their
# resources there, with no options and no build tree to lean on.
set -eu
build=$1
prefix=$(mktemp -d)
data=$(mktemp -d)
trap 'rm -rf "$prefix" "$data"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

for file in bin/quillet bin/quillet-cli share/quillet/Tools/idevice_id \
    share/quillet/Tools/idevicename share/quillet/Tools/ideviceinfo \
    share/quillet/Tools/ideviceinstaller \
    share/quillet/Help/index.html share/quillet/Help/licenses.txt share/quillet/Updates.json \
    share/applications/com.marrowby.quillet.desktop share/icons/hicolor/scalable/apps/quillet.svg \
    share/icons/hicolor/256x256/apps/quillet.png; do
    [ -e "$prefix/$file" ] || { echo "not installed: $file" >&2; exit 1; }
done
for tool in idevice_id idevicename ideviceinfo ideviceinstaller; do
    for folder in Tools Demo/Tools; do
        [ -x "$prefix/share/quillet/$folder/$tool" ] ||
            { echo "not executable: $folder/$tool" >&2; exit 1; }
    done
done

export QT_QPA_PLATFORM=offscreen HOME="$data" XDG_CONFIG_HOME="$data/config"
"$prefix/bin/quillet-cli" --version | grep -q '^quillet-cli 1\.0\.0$'
"$prefix/bin/quillet" --version | grep -q '1\.0\.0'

# A scan with no device fails, but it must fail at the device, not for want of its tools.
status=0
"$prefix/bin/quillet-cli" scan --data-dir "$data/Quillet" --lookup-url http://127.0.0.1:9/lookup \
    >"$data/out" 2>"$data/err" || status=$?
if [ "$status" -ne 1 ] || grep -q 'could not be started' "$data/err"; then
    echo "the installed quillet-cli did not find its device tools:" >&2
    cat "$data/err" >&2
    exit 1
fi
# The demo needs nothing but the installed resources.
"$prefix/bin/quillet-cli" scan --demo >"$data/out" 2>"$data/err" || {
    echo "the installed demo did not scan:" >&2
    cat "$data/err" >&2
    exit 1
}
grep -q '^Scan complete\.' "$data/out"
echo "installed into a temporary prefix; the programs find their resources"
