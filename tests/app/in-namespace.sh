#!/bin/sh
# Runs a test in a mount namespace of its own, where it may mount a small tmpfs and turn it
# read-only without touching the machine. Root needs no user namespace; anyone else does.
if [ "$(id -u)" = 0 ] && unshare --mount true 2>/dev/null; then
    exec env QUILLET_PRIVATE_MOUNTS=1 unshare --mount "$@"
fi
if unshare --user --map-root-user --mount true 2>/dev/null; then
    exec env QUILLET_PRIVATE_MOUNTS=1 unshare --user --map-root-user --mount "$@"
fi
echo "in-namespace.sh: cannot make a private mount namespace here (unshare failed);" \
    "the fault tests need one" >&2
exit 1
