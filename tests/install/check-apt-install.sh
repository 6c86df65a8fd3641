#!/bin/sh
# Installs the Debian package with apt as a user would, runs the demo scan as a user with a fresh
# home folder, removes the package and checks that the user's data is still there.
# It changes the system, so it runs only as root and only when asked (QUILLET_INSTALL_CHECK=1;
# scripts/test.sh in CI), and never replaces a quillet package that is already installed.
set -eu
build=$1
if [ "${QUILLET_INSTALL_CHECK:-}" != 1 ] || [ "$(id -u)" -ne 0 ] ||
    ! command -v apt-get >/dev/null 2>&1; then
    echo "check-apt-install: skipped (needs root, apt and QUILLET_INSTALL_CHECK=1)"
    exit 0
fi
if dpkg-query -W -f='${Status}' quillet 2>/dev/null | grep -q 'installed'; then
    echo "check-apt-install: a quillet package is installed already; leaving it alone" >&2
    exit 1
fi
out=$(mktemp -d)
home=$(mktemp -d)
trap 'rm -rf "$out" "$home"' EXIT
fail() { echo "check-apt-install: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >/dev/null
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$out"/quillet_*.deb
dpkg-query -W -f='${Status}\n' quillet | grep -q 'install ok installed' || fail "not installed"

# A clean environment: no build tree, no QT_QPA_PLATFORM, a home of its own.
env -i PATH=/usr/bin:/bin HOME="$home" /usr/bin/quillet-cli scan --demo >"$out/scan" 2>&1 ||
    { cat "$out/scan" >&2; fail "quillet-cli scan --demo failed"; }
grep -q '^Scan complete\.' "$out/scan" || { cat "$out/scan" >&2; fail "no scan"; }
env -i PATH=/usr/bin:/bin HOME="$home" /usr/bin/quillet-cli history --demo >/dev/null
env -i PATH=/usr/bin:/bin HOME="$home" QT_QPA_PLATFORM=offscreen /usr/bin/quillet --version |
    grep -q . || fail "quillet --version failed"
data="$home/.local/share/Quillet Demo"
[ -f "$data/inventory.json" ] || fail "the demo scan left no inventory in $data"

# The installed program's workbook in LibreOffice, with characters XML forbids in a name: every
# text cell must come back (a raw U+FFFE once made it open the sheet with all of them blank).
if ! command -v soffice >/dev/null 2>&1; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends libreoffice-calc \
        >/dev/null || fail "LibreOffice could not be installed"
fi
hostile="$out/hostile"
mkdir -p "$hostile"
printf '%s' '{"fields":["App name","Version"],"rows":[{"App name":"Notes\ufffe\uffff\u0001","Version":"1.10"},{"App name":"Maps","Version":"2.0"}]}' \
    >"$hostile/inventory.json"
env -i PATH=/usr/bin:/bin HOME="$home" /usr/bin/quillet-cli show --data-dir "$hostile" \
    --xlsx "$out/hostile.xlsx" >/dev/null || fail "the hostile workbook was not written"
env -i PATH=/usr/bin:/bin HOME="$home" timeout 180 soffice --headless --convert-to csv \
    --outdir "$out" "$out/hostile.xlsx" >/dev/null 2>&1 || fail "LibreOffice could not open the workbook"
grep -q '^Maps,2.0' "$out/hostile.csv" && grep -q '^Notes' "$out/hostile.csv" && grep -q ',1.10' "$out/hostile.csv" ||
    { cat "$out/hostile.csv" >&2; fail "LibreOffice lost text cells of the workbook"; }

DEBIAN_FRONTEND=noninteractive apt-get remove -y -q quillet
[ ! -e /usr/bin/quillet-cli ] || fail "quillet-cli is still installed"
[ ! -e /usr/share/quillet ] || fail "/usr/share/quillet is still there"
[ -f "$data/inventory.json" ] && [ -d "$data/History" ] || fail "the removal touched $data"
echo "check-apt-install: installed, scanned the demo device, LibreOffice read its workbook, removed; the user's data stayed"
