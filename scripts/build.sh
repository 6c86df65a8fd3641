#!/usr/bin/env bash
# Configures and builds Quillet with CMake.
#   scripts/build.sh              -> build/       (RelWithDebInfo)
#   scripts/build.sh --sanitize   -> build-asan/  (address + undefined sanitizers)
# Missing packages are installed first (see install-deps.sh).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(cd "$here/.." && pwd)"

sanitize=no
for arg in "$@"; do
    case "$arg" in
        --sanitize) sanitize=yes ;;
        -h|--help)
            echo "usage: scripts/build.sh [--sanitize]"
            exit 0
            ;;
        *)
            echo "build.sh: unknown argument: $arg" >&2
            echo "usage: scripts/build.sh [--sanitize]" >&2
            exit 2
            ;;
    esac
done

"$here/install-deps.sh"

configure=(-S "$repo" -DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [[ "$sanitize" == yes ]]; then
    dir="$repo/build-asan"
    configure+=(-B "$dir" -DQUILLET_SANITIZE=ON)
else
    dir="$repo/build"
    configure+=(-B "$dir")
fi

if [[ "$(uname -s)" == Darwin ]]; then
    jobs="$(sysctl -n hw.ncpu)"
    if command -v brew >/dev/null 2>&1; then
        prefixes="$(brew --prefix qt)"
        # icu4c is keg-only, so CMake does not see it without a hint.
        if icu="$(brew --prefix icu4c 2>/dev/null)" && [[ -d "$icu" ]]; then
            prefixes="$prefixes;$icu"
        fi
        configure+=("-DCMAKE_PREFIX_PATH=$prefixes")
    fi
else
    jobs="$(nproc)"
fi

cmake "${configure[@]}"
cmake --build "$dir" --parallel "$jobs"
