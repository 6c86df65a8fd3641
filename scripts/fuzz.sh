#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs them.
#   scripts/fuzz.sh                     replays every seed corpus once (what CI does)
#   scripts/fuzz.sh list                names the targets
#   scripts/fuzz.sh TARGET [SECONDS]    fuzzes one target (default 600 s)
#   scripts/fuzz.sh all [SECONDS]       fuzzes every target in turn
# Fuzzing starts from tests/fuzz/corpus/TARGET and keeps what it learns in
# build-fuzz/corpus/TARGET; inputs that fail land in build-fuzz/crashes/TARGET.
# Add a failing input to the seed corpus once it is fixed, so that CI replays it.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(cd "$here/.." && pwd)"
dir="$repo/build-fuzz"
seeds="$repo/tests/fuzz/corpus"

usage() {
    echo "usage: scripts/fuzz.sh [list | TARGET [SECONDS] | all [SECONDS]]"
}

targets() {
    (cd "$seeds" && ls -1)
}

build() {
    "$here/install-deps.sh"
    # shellcheck source=configure.sh
    . "$here/configure.sh"
    quillet_configure "$dir" -S "$repo" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER=clang++ \
        -DQUILLET_FUZZ=ON -DQUILLET_TESTS=OFF -DQUILLET_BENCH=OFF \
        ${QUILLET_WERROR:+"-DQUILLET_WERROR=$QUILLET_WERROR"} >/dev/null
    cmake --build "$dir" --target quillet_fuzz --parallel "$(nproc)"
}

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

fuzz() {
    local target="$1" seconds="$2"
    local work="$dir/corpus/$target" crashes="$dir/crashes/$target"
    mkdir -p "$work" "$crashes"
    echo "fuzz.sh: $target for $seconds s"
    "$dir/tests/fuzz/$target" "$work" "$seeds/$target" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
        -print_final_stats=1 -artifact_prefix="$crashes/"
}

case "${1:-}" in
    "")
        build
        ctest --test-dir "$dir" --output-on-failure -j2
        ;;
    -h|--help)
        usage
        ;;
    list)
        targets
        ;;
    all)
        build
        for target in $(targets); do
            fuzz "$target" "${2:-600}"
        done
        ;;
    *)
        if [[ ! -d "$seeds/$1" ]]; then
            echo "fuzz.sh: no such target: $1 (see scripts/fuzz.sh list)" >&2
            exit 2
        fi
        build
        fuzz "$1" "${2:-600}"
        ;;
esac
