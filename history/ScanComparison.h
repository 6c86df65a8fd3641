#pragma once

#include "history/ScanDifference.h"
#include "scanning/Inventory.h"

#include <QList>

// What changed from scan A (the baseline) to scan B: two dates of one device, or two devices.
struct ScanComparison {
    // Both scans come from one identified device; decides "Added" over "Only in B".
    bool sameDevice = false;
    // One entry per bundle identifier in either scan, sorted by name as a file browser would.
    QList<ScanDifference> differences;

    static ScanComparison compare(const Inventory &a, const Inventory &b);

    // The differences to show: all, or only the measured changes.
    QList<ScanDifference> shown(bool changesOnly) const;
    // Apps with any measured change.
    qsizetype changedCount() const;
    // The two summary lines for A and B, the inventories that were compared.
    QString summary(const Inventory &a, const Inventory &b) const;
};
