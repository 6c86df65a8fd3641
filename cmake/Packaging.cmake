# Packages made by CPack from the install rules: a .deb on Linux (cpack -G DEB, or
# scripts/package.sh), a .dmg with the bundle on macOS (cpack -G DragNDrop).
set(CPACK_PACKAGE_NAME quillet)
set(CPACK_PACKAGE_VENDOR Marrowby)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "inventory of the apps on an iPhone or iPad")
set(CPACK_PACKAGE_DESCRIPTION [=[
Quillet lists every app on an iPhone or iPad connected by USB, with its
version, category and the space its app and its data take, and keeps each
scan so that two scans can be compared. The inventory can be searched,
filtered, sorted, exported as CSV and printed as a PDF report.

The package holds the window application, quillet, and quillet-cli, which
does the same from a terminal. Both read the device through the
libimobiledevice tools and usbmuxd.]=])
set(CPACK_PACKAGE_HOMEPAGE_URL "https://marrowby.example/quillet")
set(CPACK_PACKAGE_CONTACT "Marrowby <quillet@marrowby.example>")
set(CPACK_STRIP_FILES ON)

# Debian: /usr as the prefix, the library dependencies from dpkg-shlibdeps, the device tools
# by name. No maintainer scripts, so removing the package never touches a user's data.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libimobiledevice-utils, usbmuxd")
# A colour emoji font, or app names with emoji show empty boxes on desktops that lack one.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ideviceinstaller, fonts-noto-color-emoji")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# macOS: the bundle in a disk image, dragged to Applications. Qt's frameworks must be in the
# bundle first (macdeployqt); this rule only packs what the install step put there.
set(CPACK_DMG_VOLUME_NAME Quillet)
set(CPACK_DMG_FORMAT UDZO)
if(APPLE)
    set(CPACK_GENERATOR DragNDrop)
else()
    set(CPACK_GENERATOR DEB)
    # Only here: the disk image holds the bundle at its top level.
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
endif()

include(CPack)
