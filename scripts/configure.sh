# Sourced by build.sh and fuzz.sh: configures a build folder with Ninja.
# Ninja rebuilds exactly what changed and says "no work to do" when nothing did, which the tests
# check (build_is_current). A folder made earlier with another generator is configured afresh:
# CMake cannot change the generator of an existing build folder.
quillet_configure() {
    local dir="$1"
    shift
    local cache="$dir/CMakeCache.txt"
    if [[ -f "$cache" ]] && ! grep -qx 'CMAKE_GENERATOR:INTERNAL=Ninja' "$cache"; then
        echo "configure: $dir was made with another generator; configuring it afresh with Ninja"
        rm -rf "$cache" "$dir/CMakeFiles"
    fi
    cmake -G Ninja -B "$dir" "$@"
}
