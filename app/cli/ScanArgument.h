#pragma once

#include "history/SavedScan.h"
#include "scanning/Inventory.h"

#include <QString>

// A SCAN argument: a saved scan's identifier, in any case, or a unique beginning of it.
class ScanArgument {
public:
    // The saved scan with its rows. Throws when no scan, or more than one, matches.
    static SavedScan saved(const QString &idOrPrefix);
    // The inventory a command shows: the saved scan named, or the current inventory when
    // `idOrPrefix` is empty; with the store's columns either way.
    static Inventory inventory(const QString &idOrPrefix);

    ScanArgument() = delete;
};
