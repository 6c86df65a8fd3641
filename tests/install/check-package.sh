#!/bin/sh
# Makes the Debian package from the build and checks what is in it: everything under /usr, the
# device tools as dependencies, the documentation files, and no maintainer scripts.
set -eu
build=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >"$out/cpack.log" 2>&1 ||
    { cat "$out/cpack.log" >&2; exit 1; }
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
deb="$out/quillet_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { echo "no package named $(basename "$deb"):" >&2; ls "$out" >&2; exit 1; }

fail() { echo "$*" >&2; exit 1; }
field() { dpkg-deb -f "$deb" "$1"; }

[ "$(field Package)" = quillet ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
field Maintainer | grep -q '^Marrowby' || fail "Maintainer: $(field Maintainer)"
depends=$(field Depends)
for name in libimobiledevice-utils usbmuxd libc6 libqt6widgets6 libplist; do
    echo "$depends" | grep -q "$name" || fail "Depends lacks $name: $depends"
done
[ "$(field Recommends)" = "ideviceinstaller, fonts-noto-color-emoji" ] || fail "Recommends: $(field Recommends)"
[ "$(field Description | wc -l)" -gt 3 ] || fail "the description has no long part"

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's#^\./#/#' >"$out/files"
outside=$(grep -v -e '^/$' -e '^/usr/' -e '^/usr$' "$out/files" || true)
[ -z "$outside" ] || fail "files outside /usr: $outside"
for file in /usr/bin/quillet /usr/bin/quillet-cli /usr/share/quillet/Tools/ideviceinstaller \
    /usr/share/quillet/Tools/ideviceinfo /usr/share/quillet/Demo/Tools/ideviceinfo \
    /usr/share/quillet/Tools/quillet-applist /usr/share/quillet/Tools/quillet-devicehealth \
    /usr/share/quillet/Tools/quillet-appicons /usr/share/quillet/Demo/Tools/quillet-devicehealth \
    /usr/share/quillet/Demo/Tools/quillet-appicons \
    /usr/share/quillet/Help/index.html /usr/share/applications/com.marrowby.quillet.desktop \
    /usr/share/metainfo/com.marrowby.quillet.metainfo.xml /usr/share/man/man1/quillet.1.gz \
    /usr/share/man/man1/quillet-cli.1.gz /usr/share/bash-completion/completions/quillet-cli \
    /usr/share/icons/hicolor/scalable/apps/quillet.svg; do
    grep -qx "$file" "$out/files" || fail "not in the package: $file"
done

# Nothing runs at install or removal, so a removal cannot touch anyone's home folder.
mkdir "$out/control"
dpkg-deb -e "$deb" "$out/control"
for script in preinst postinst prerm postrm; do
    [ ! -e "$out/control/$script" ] || fail "the package has a $script script"
done
echo "$(basename "$deb"): $(wc -l <"$out/files") entries, Depends: $depends"
