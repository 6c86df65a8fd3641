#pragma once

#include "scanning/device/DeviceFacts.h"

#include <QString>

#include <optional>

// A device plugged in now, as a list of them shows it before any scan: its identifier, its name
// and what it says of its model and system (none of them while it is locked).
struct ConnectedDevice {
    QString identifier;
    std::optional<QString> name;
    DeviceFacts facts;

    // Its name, or "Device 1A2B3C4D" after the end of its identifier, which tells devices apart
    // at a glance.
    QString title() const;
};
