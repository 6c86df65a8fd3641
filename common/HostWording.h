#pragma once

#include <QString>

// Words for the computer Quillet runs on, true on each platform: a Mac is "this Mac" and can
// confirm Trust in Finder as well as on the device; elsewhere only the device asks.
class HostWording {
public:
    // "this Mac", "this computer".
    static QString thisComputer();
    // "your Mac", "your computer".
    static QString yourComputer();
    // "confirm Trust in Finder", "confirm Trust on the device".
    static QString confirmTrust();
    // Where Trust This Computer is approved: "on the device or in Finder", "on the device".
    static QString trustPlaces();

    HostWording() = delete;
};
