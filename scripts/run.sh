#!/usr/bin/env bash
# Builds Quillet and starts the application; arguments are passed to it.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(cd "$here/.." && pwd)"

"$here/build.sh"

bundle="$repo/build/app/quillet.app"
if [[ "$(uname -s)" == Darwin && -d "$bundle" ]]; then
    exec "$bundle/Contents/MacOS/quillet" "$@"
fi
app="$repo/build/app/quillet"
if [[ -x "$app" ]]; then
    exec "$app" "$@"
fi

echo "run.sh: everything was built into $repo/build; the window application does not exist yet."
