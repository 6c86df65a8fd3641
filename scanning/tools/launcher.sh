#!/bin/sh
# Quillet runs its device tools from its own Tools folder with PATH=/usr/bin:/bin. This one
# script is installed there as idevice_id, idevicename, ideviceinfo and ideviceinstaller; it finds
# the system's tool of that name and runs it, and when the tool fails for a reason a person can
# fix, adds one sentence saying how after the tool's own message.

tool=${0##*/}
case $0 in
    */*) tools_dir=${0%/*} ;;
    *) tools_dir=. ;;
esac

case $tool in
    idevice_id | idevicename | ideviceinfo)
        debian_package=libimobiledevice-utils
        brew_package=libimobiledevice
        ;;
    ideviceinstaller)
        debian_package=ideviceinstaller
        brew_package=ideviceinstaller
        ;;
    *)
        echo "Quillet's device tool launcher does not know a tool named $tool." >&2
        exit 127
        ;;
esac

system=$(uname -s 2>/dev/null)

# Homebrew uses /opt/homebrew on Apple silicon and /usr/local on Intel Macs.
find_tool() {
    for folder in /usr/bin /usr/local/bin /opt/homebrew/bin; do
        if [ -f "$folder/$1" ] && [ -x "$folder/$1" ] && [ "$folder" != "$tools_dir" ]; then
            echo "$folder/$1"
            return 0
        fi
    done
    return 1
}

install_advice() {
    if [ "$system" = Darwin ]; then
        echo "Install it with Homebrew (brew install $brew_package), then scan again."
    elif [ -x /usr/bin/apt-get ]; then
        echo "Install the package $1 (sudo apt-get install $1), then scan again."
    else
        echo "Install your distribution's package $1, then scan again."
    fi
}

# ideviceinstaller learned the "list --xml --attribute" form Quillet uses in version 1.2.
lists_apps() {
    version=$("$1" --version 2>/dev/null) || return 1
    version=${version##* }
    major=${version%%.*}
    minor=${version#*.}
    minor=${minor%%[!0-9]*}
    case $major in '' | *[!0-9]*) return 1 ;; esac
    case $minor in '' | *[!0-9]*) return 1 ;; esac
    [ "$major" -gt 1 ] || { [ "$major" -eq 1 ] && [ "$minor" -ge 2 ]; }
}

program=$(find_tool "$tool")
if [ "$tool" = ideviceinstaller ] && [ -x "$tools_dir/quillet-applist" ]; then
    # Our own helper answers the one listing Quillet asks for, offloaded apps and App Clips
    # included, which no version of ideviceinstaller can ask the device for.
    program=$tools_dir/quillet-applist
elif [ "$tool" = ideviceinstaller ] && ! { [ -n "$program" ] && lists_apps "$program"; }; then
    if [ -n "$program" ]; then
        if [ "$system" = Darwin ]; then
            advice="Update it with Homebrew (brew upgrade ideviceinstaller), then scan again."
        else
            advice="Rebuild Quillet, which builds that helper, or install ideviceinstaller 1.2 or later, then scan again."
        fi
        echo "The device tool ideviceinstaller in ${program%/*} is older than version 1.2, which Quillet needs to list apps, and Quillet's own listing helper quillet-applist is missing from $tools_dir. $advice" >&2
        exit 127
    fi
fi
if [ -z "$program" ]; then
    echo "The device tool $tool is not installed. $(install_advice "$debian_package")" >&2
    exit 127
fi

# Where usbmuxd listens: USBMUXD_SOCKET_ADDRESS when someone runs it elsewhere (UNIX:/path, or
# host:port over the network, where there is nothing here to look at), else the system's socket.
usbmuxd_socket=/var/run/usbmuxd
case ${USBMUXD_SOCKET_ADDRESS-} in
    '') ;;
    UNIX:*) usbmuxd_socket=${USBMUXD_SOCKET_ADDRESS#UNIX:} ;;
    *) usbmuxd_socket= ;;
esac
usbmuxd_absent() {
    [ -n "$usbmuxd_socket" ] && ! [ -S "$usbmuxd_socket" ]
}

usbmuxd_installed() {
    for folder in /usr/sbin /sbin /usr/local/sbin /usr/bin; do
        [ -x "$folder/usbmuxd" ] && return 0
    done
    return 1
}

# On Linux usbmuxd runs only while an iPhone or iPad is plugged in, so when it is installed but
# not running, no device is connected: list none, as the tool does when the service runs, and
# Quillet gives its usual advice to connect one.
if [ "$tool" = idevice_id ] && [ "$system" != Darwin ] && [ -z "${USBMUXD_SOCKET_ADDRESS-}" ] &&
    usbmuxd_absent && usbmuxd_installed; then
    case " $* " in *" -l "* | *" --list "*) exit 0 ;; esac
fi

# The tool's messages are kept to read after it ends; without a temporary file it simply runs.
messages=$(mktemp "${TMPDIR:-/tmp}/quillet-$tool.XXXXXX" 2>/dev/null) || messages=
if [ -z "$messages" ]; then
    exec "$program" "$@"
fi
trap 'rm -f "$messages"' EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

"$program" "$@" 2>"$messages"
status=$?
cat "$messages" >&2
[ "$status" -eq 0 ] && exit 0

# The lockdown error code a tool reports, as in "error code -17" or "lockdown error -19".
lockdown_code=$(sed -n 's/.*lockdownd\{0,1\}[^0-9-]*\(-[0-9][0-9]*\).*/\1/p' "$messages" | head -n 1)
said() {
    grep -qi -e "$1" "$messages"
}

hint=
# A locked device, or one whose Trust prompt waits, needs its user and nothing else: Quillet
# tells this apart by the status, and waits for such a device when it watches for new ones.
waiting=
if said '^usage:' || said '^only --xml'; then
    : # Wrong arguments; nothing about the device would help.
elif [ -n "${USBMUXD_SOCKET_ADDRESS-}" ] && { usbmuxd_absent || said 'unable to retrieve device list'; }; then
    hint="Nothing answers at USBMUXD_SOCKET_ADDRESS ($USBMUXD_SOCKET_ADDRESS): start the usbmuxd it names, or unset the variable to use this computer's own, then scan again."
elif [ "$system" != Darwin ] && usbmuxd_absent; then
    # On Linux usbmuxd starts when an iPhone or iPad is plugged in and ends when the last one
    # is unplugged, so its absence usually means that no device is connected.
    if usbmuxd_installed; then
        hint="The usbmuxd service that reaches iPhones and iPads over USB is not running; it starts by itself when a device is plugged in, so connect the device with a USB data cable and unlock it (or start the service with: sudo systemctl start usbmuxd), then scan again."
    else
        hint="The usbmuxd service that reaches iPhones and iPads over USB is not installed; install the package usbmuxd (sudo apt-get install usbmuxd on Debian and Ubuntu), then scan again."
    fi
elif [ "$lockdown_code" = -17 ] || said 'password protected'; then
    hint="The device is locked: unlock it with its passcode, tap Trust if it asks whether to trust this computer, then scan again."
    waiting=75
elif [ "$lockdown_code" = -19 ] || said 'pairing dialog response pending'; then
    hint="The device is asking whether to trust this computer: unlock it, tap Trust and enter its passcode, then scan again."
    waiting=75
elif [ "$lockdown_code" = -18 ] || said 'user denied pairing'; then
    hint="The device was told not to trust this computer: unplug it and plug it in again, tap Trust when it asks, then scan again."
elif [ "$lockdown_code" = -20 ] || [ "$lockdown_code" = -21 ] || [ "$lockdown_code" = -29 ] ||
    [ "$lockdown_code" = -31 ] || said 'invalid host \{0,1\}id' || said 'missing host \{0,1\}id' ||
    said 'pair record'; then
    hint="This computer's pairing with the device is missing or out of date: unplug the device and plug it in again, unlock it and tap Trust, then scan again."
elif said 'unable to retrieve device list'; then
    # The service's socket is there but nothing answers on it (a stopped or crashed service).
    if [ "$system" = Darwin ]; then
        hint="The system service that reaches iPhones and iPads did not answer: unplug the device and plug it in again, unlock it, then scan again."
    else
        hint="The usbmuxd service that reaches iPhones and iPads over USB did not answer: unplug the device and plug it in again, unlock it (or restart the service with: sudo systemctl restart usbmuxd), then scan again."
    fi
elif said 'instproxy_browse returned' || said 'could not connect to installation_proxy' ||
    said 'could not start com.apple.mobile.installation_proxy'; then
    # The listing broke off: the cable moved, the device locked or it was unplugged.
    hint="The device stopped answering while it listed its apps: check the USB cable, keep the device unlocked, then scan again."
elif said 'no device found'; then
    hint="The device is not connected now: plug it in with a USB data cable, unlock it, then scan again."
fi
if [ -n "$hint" ]; then
    echo "$hint" >&2
fi
exit "${waiting:-$status}"
