#!/usr/bin/env bash
# Configures and builds Quillet with CMake.
#   scripts/build.sh              -> build/       (RelWithDebInfo, the system's compiler)
#   scripts/build.sh --sanitize   -> build-asan/  (address + undefined sanitizers)
#   scripts/build.sh --clang      -> build-clang/ (the same with clang++)
# QUILLET_WERROR=ON in the environment turns warnings into errors (test.sh, CI).
# Missing packages are installed first (see install-deps.sh).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(cd "$here/.." && pwd)"

usage="usage: scripts/build.sh [--sanitize | --clang]"
dir="$repo/build"
configure=(-S "$repo" -DCMAKE_BUILD_TYPE=RelWithDebInfo)
for arg in "$@"; do
    case "$arg" in
        --sanitize)
            dir="$repo/build-asan"
            configure+=(-DQUILLET_SANITIZE=ON)
            ;;
        --clang)
            dir="$repo/build-clang"
            configure+=(-DCMAKE_CXX_COMPILER=clang++)
            ;;
        -h|--help)
            echo "$usage"
            exit 0
            ;;
        *)
            echo "build.sh: unknown argument: $arg" >&2
            echo "$usage" >&2
            exit 2
            ;;
    esac
done
# Only when asked, so that an existing build keeps the setting it was made with.
if [[ -n "${QUILLET_WERROR:-}" ]]; then
    configure+=("-DQUILLET_WERROR=$QUILLET_WERROR")
fi

"$here/install-deps.sh"
# shellcheck source=configure.sh
. "$here/configure.sh"

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

quillet_configure "$dir" "${configure[@]}"
cmake --build "$dir" --parallel "$jobs"
