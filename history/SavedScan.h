#pragma once

#include "scanning/Inventory.h"

#include <QString>

// One entry of the scan history, with the user's name and notes applied.
struct SavedScan {
    QString id;
    Inventory inventory;

    friend bool operator==(const SavedScan &, const SavedScan &) = default;

    // The one line that stands for this scan everywhere:
    // "[name · ]device · short date and time · first six characters of the identity".
    QString title() const;
};
