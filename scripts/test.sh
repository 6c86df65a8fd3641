#!/usr/bin/env bash
# Builds Quillet and runs every test through CTest, with warnings as errors.
#   scripts/test.sh               -> build/ (the system's compiler), then build-clang/ (clang++),
#                                    then the fuzz targets' seed corpora (build-fuzz/)
#   scripts/test.sh --sanitize    -> build-asan/ with address + undefined sanitizers
# Needs no display and no locale. QUILLET_INSTALL_CHECK=1 (CI, as root on Debian/Ubuntu) also
# installs the Debian package with apt, runs it and removes it again.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(cd "$here/.." && pwd)"

build_args=()
dir="$repo/build"
for arg in "$@"; do
    case "$arg" in
        --sanitize)
            build_args+=(--sanitize)
            dir="$repo/build-asan"
            ;;
        -h|--help)
            echo "usage: scripts/test.sh [--sanitize]"
            exit 0
            ;;
        *)
            echo "test.sh: unknown argument: $arg" >&2
            echo "usage: scripts/test.sh [--sanitize]" >&2
            exit 2
            ;;
    esac
done

export QUILLET_WERROR=ON
export QT_QPA_PLATFORM=offscreen
if [[ "$dir" == "$repo/build-asan" ]]; then
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi

"$here/build.sh" ${build_args[@]+"${build_args[@]}"}
ctest --test-dir "$dir" --output-on-failure --timeout 600 -j2

# The package through apt on this very machine: only as root and only when asked, as CI does.
if [[ "$dir" == "$repo/build" && "${QUILLET_INSTALL_CHECK:-}" == 1 ]]; then
    "$repo/tests/install/check-apt-install.sh" "$dir"
fi

# The whole tree also builds and passes with clang, which is the Mac's compiler, and every fuzz
# target is built and replays its corpus, so that none of them rots. A Mac builds with clang
# already, and Apple's clang has no libFuzzer, so it skips both.
if [[ "$dir" == "$repo/build" && "$(uname -s)" != Darwin ]]; then
    "$here/build.sh" --clang
    ctest --test-dir "$repo/build-clang" --output-on-failure --timeout 600 -j2
    "$here/fuzz.sh"
fi
