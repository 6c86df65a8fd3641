#include "history/ScanDifference.h"

const QString ScanDifference::added = QStringLiteral("Added");
const QString ScanDifference::removed = QStringLiteral("Removed");
const QString ScanDifference::onlyInA = QStringLiteral("Only in A");
const QString ScanDifference::onlyInB = QStringLiteral("Only in B");
const QString ScanDifference::leftStore = QStringLiteral("Left the store");
const QString ScanDifference::offloaded = QStringLiteral("Offloaded");
const QString ScanDifference::restored = QStringLiteral("Restored");
const QString ScanDifference::sourceChanged = QStringLiteral("Source changed");
const QString ScanDifference::versionChanged = QStringLiteral("Version changed");
const QString ScanDifference::storageChanged = QStringLiteral("Storage changed");
const QString ScanDifference::noMeasuredChange = QStringLiteral("No measured change");

const QList<QString> &ScanDifference::statuses()
{
    static const QList<QString> all = {
        added,    removed,       onlyInA,        onlyInB,        leftStore,       offloaded,
        restored, sourceChanged, versionChanged, storageChanged, noMeasuredChange};
    return all;
}
