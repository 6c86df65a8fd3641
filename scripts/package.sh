#!/usr/bin/env bash
# Builds Quillet and makes its package in build/:
#   Debian/Ubuntu: build/quillet_<version>_<arch>.deb   (install with: sudo apt install ./build/quillet_*.deb)
#   macOS:         build/quillet-<version>-Darwin.dmg
# Arguments are passed to cpack (for example -G TGZ for another kind of package).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(cd "$here/.." && pwd)"

"$here/build.sh"
cd "$repo/build"
cpack --config CPackConfig.cmake "$@"
