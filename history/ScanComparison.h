#pragma once

#include "history/ScanDifference.h"
#include "scanning/Inventory.h"

#include <QHash>
#include <QList>

// What changed from scan A (the baseline) to scan B: two dates of one device, or two devices.
struct ScanComparison {
    // Both scans come from one identified device; decides "Added" over "Only in B".
    bool sameDevice = false;
    // One entry per bundle identifier in either scan, sorted by name as a file browser would.
    QList<ScanDifference> differences;
    // What the devices said about themselves that changed from A to B ("iOS 17.4 → 17.5.1"),
    // then the warnings that appeared or went away.
    QStringList deviceChanges = {};

    static ScanComparison compare(const Inventory &a, const Inventory &b);
    // The apps of a scan that take part in a comparison, by bundle identifier: rows with a
    // visible name, the first row of an identifier winning. The rows are `inventory`'s own.
    static QHash<QString, const Row *> comparedApps(const Inventory &inventory);
    // "new warning: No passcode is set.", "warning gone: …", from A to B.
    static QStringList warningChanges(const Inventory &a, const Inventory &b);

    // The differences to show: all, or only the measured changes.
    QList<ScanDifference> shown(bool changesOnly) const;
    // Apps with any measured change.
    qsizetype changedCount() const;
    // Apps of that status.
    qsizetype countOf(const QString &status) const;
    // "4 differences across 5 apps", and "(2 left the store)" when any did.
    QString countLine() const;
    // "Same device", or "Different or unidentified devices".
    QString deviceKind() const;
    // The two summary lines for A and B, the inventories that were compared, and a third with
    // the device's changes when there are any.
    QString summary(const Inventory &a, const Inventory &b) const;
    // "Device: iOS 17.4 → 17.5.1; battery 90% → 82%", or empty.
    QString deviceLine() const;
};
