#pragma once

#include <QList>
#include <QString>

// What became of one app from scan A to scan B.
struct ScanDifference {
    QString name;
    QString bundle;
    QString category;
    // One of statuses(): "Added", "Removed", "Only in A", "Only in B", "Left the store",
    // "Offloaded", "Restored", "Source changed", "Version changed", "Storage changed" or
    // "No measured change".
    QString status;
    QString versionA;
    QString versionB;
    // Change of "Total MB" from A to B ("+1.25"); empty when either size is unknown.
    QString sizeDelta;

    friend bool operator==(const ScanDifference &, const ScanDifference &) = default;

    static const QString added;
    static const QString removed;
    static const QString onlyInA;
    static const QString onlyInB;
    static const QString leftStore;
    static const QString offloaded;
    static const QString restored;
    static const QString sourceChanged;
    static const QString versionChanged;
    static const QString storageChanged;
    static const QString noMeasuredChange;

    // Every status, in the order above.
    static const QList<QString> &statuses();
};
