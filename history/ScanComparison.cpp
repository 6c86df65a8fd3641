#include "history/ScanComparison.h"

#include "common/Collation.h"
#include "common/DecimalText.h"
#include "common/Plural.h"
#include "scanning/Column.h"
#include "scanning/device/DeviceDescription.h"
#include "scanning/device/DeviceWarnings.h"

#include <QHash>

#include <algorithm>
#include <cmath>

namespace {

// Apps by bundle identifier, in first-seen order; the first row of an identifier wins. Rows
// without a visible name take no part, as in every comparison of named rows.
struct Index {
    QHash<QString, const Row *> rows;
    QList<std::pair<QString, const Row *>> order;

    explicit Index(const Inventory &inventory)
    {
        rows.reserve(inventory.rows.size());
        order.reserve(inventory.rows.size());
        for (const Row &row : inventory.rows) {
            const QString *name = row.find(Column::appName);
            if (!name || !Inventory::hasVisibleName(*name))
                continue;
            const QString bundle = row.value(Column::bundleIdentifier);
            if (bundle.isEmpty())
                continue;
            const Row *&slot = rows[bundle];
            if (slot)
                continue;
            slot = &row;
            order.append({bundle, &row});
        }
    }
};

} // namespace

QStringList ScanComparison::warningChanges(const Inventory &a, const Inventory &b)
{
    // Each scan judged by itself: which iOS was newest belongs to the history, not to the pair.
    auto warnings = [](const Inventory &scan) {
        QList<DeviceWarnings::Warning> found = DeviceWarnings::of(
            scan.deviceFacts(),
            {scan.scannedAt.value_or(QDateTime()), {}, DeviceWarnings::unrestorable(scan.rows)});
        QHash<QString, QString> byKey;
        for (const DeviceWarnings::Warning &warning : found)
            byKey.insert(warning.key, warning.text);
        return std::pair(found, byKey);
    };
    const auto [listA, keysA] = warnings(a);
    const auto [listB, keysB] = warnings(b);
    // A clause in a list of changes: without the sentence's full stop.
    auto clause = [](QString text) {
        if (text.endsWith(u'.'))
            text.chop(1);
        return text;
    };
    QStringList result;
    for (const DeviceWarnings::Warning &warning : listB) {
        if (!keysA.contains(warning.key))
            result.append(QStringLiteral("new warning: ") + clause(warning.text));
    }
    for (const DeviceWarnings::Warning &warning : listA) {
        if (!keysB.contains(warning.key))
            result.append(QStringLiteral("warning gone: ") + clause(warning.text));
    }
    return result;
}

QHash<QString, const Row *> ScanComparison::comparedApps(const Inventory &inventory)
{
    return Index(inventory).rows;
}

ScanComparison ScanComparison::compare(const Inventory &a, const Inventory &b)
{
    ScanComparison comparison;
    const std::optional<QString> deviceA = a.resolvedDeviceID();
    const std::optional<QString> deviceB = b.resolvedDeviceID();
    comparison.sameDevice = deviceA && deviceB && *deviceA == *deviceB;
    comparison.deviceChanges = DeviceDescription::changes(a.deviceFacts(), b.deviceFacts());
    comparison.deviceChanges += warningChanges(a, b);

    const Index indexA(a);
    const Index indexB(b);
    // Every app of A with its counterpart in B, then the apps only B has.
    QList<std::tuple<QString, const Row *, const Row *>> pairs;
    pairs.reserve(indexA.order.size() + indexB.order.size());
    for (const auto &[bundle, row] : indexA.order)
        pairs.append({bundle, row, indexB.rows.value(bundle)});
    for (const auto &[bundle, row] : indexB.order) {
        if (!indexA.rows.contains(bundle))
            pairs.append({bundle, nullptr, row});
    }

    QList<ScanDifference> differences;
    differences.reserve(pairs.size());
    for (const auto &[bundle, rowA, rowB] : pairs) {
        const Row &shown = rowB ? *rowB : *rowA;

        ScanDifference difference;
        difference.bundle = bundle;
        const QString *name = shown.find(Column::appName);
        difference.name = name ? *name : bundle;
        difference.category = shown.value(Column::category);
        difference.versionA = rowA ? rowA->value(Column::version) : QString();
        difference.versionB = rowB ? rowB->value(Column::version) : QString();

        bool storageChanged = false;
        if (rowA && rowB) {
            const std::optional<double> before = rowA->megabytes(Column::totalMB);
            const std::optional<double> after = rowB->megabytes(Column::totalMB);
            if (before && after) {
                const double delta = *after - *before;
                difference.sizeDelta = DecimalText::signedTwoPlaces(delta);
                storageChanged = std::abs(delta) >= 0.005;
            }
        }

        if (!rowB)
            difference.status =
                comparison.sameDevice ? ScanDifference::removed : ScanDifference::onlyInA;
        else if (!rowA)
            difference.status =
                comparison.sameDevice ? ScanDifference::added : ScanDifference::onlyInB;
        else if (rowA->value(Column::storePresence) == Column::inStore &&
                 rowB->value(Column::storePresence) == Column::notInStore)
            // Only a store that answered both times says so; an unchecked side never does.
            difference.status = ScanDifference::leftStore;
        else if (const QString *before = rowA->find(Column::offloaded),
                 *after = rowB->find(Column::offloaded);
                 before && after && *before != *after)
            // Only scans that recorded it on both sides: older ones know nothing of offloading.
            difference.status =
                after->isEmpty() ? ScanDifference::restored : ScanDifference::offloaded;
        else if (const QString sourceA = rowA->value(Column::appSource),
                 sourceB = rowB->value(Column::appSource);
                 !sourceA.isEmpty() && !sourceB.isEmpty() && sourceA != sourceB)
            difference.status = ScanDifference::sourceChanged;
        else if (!difference.versionA.isEmpty() && !difference.versionB.isEmpty() &&
                 difference.versionA != difference.versionB)
            difference.status = ScanDifference::versionChanged;
        else if (storageChanged)
            difference.status = ScanDifference::storageChanged;
        else
            difference.status = ScanDifference::noMeasuredChange;
        differences.append(std::move(difference));
    }

    QStringList names;
    names.reserve(differences.size());
    for (const ScanDifference &difference : differences)
        names.append(difference.name);
    comparison.differences.reserve(differences.size());
    for (qsizetype index : Collation::stableOrder(names))
        comparison.differences.append(std::move(differences[index]));
    return comparison;
}

QList<ScanDifference> ScanComparison::shown(bool changesOnly) const
{
    if (!changesOnly)
        return differences;
    QList<ScanDifference> changed;
    for (const ScanDifference &difference : differences) {
        if (difference.status != ScanDifference::noMeasuredChange)
            changed.append(difference);
    }
    return changed;
}

qsizetype ScanComparison::countOf(const QString &status) const
{
    return std::count_if(differences.begin(), differences.end(),
                         [&status](const ScanDifference &d) { return d.status == status; });
}

qsizetype ScanComparison::changedCount() const
{
    return std::count_if(differences.begin(), differences.end(), [](const ScanDifference &d) {
        return d.status != ScanDifference::noMeasuredChange;
    });
}

QString ScanComparison::countLine() const
{
    QString line =
        Plural::of(changedCount(), QStringLiteral("difference"), QStringLiteral("differences")) +
        QStringLiteral(" across ") + Plural::apps(differences.size());
    if (const qsizetype left = countOf(ScanDifference::leftStore))
        line += QStringLiteral(" (%1 left the store)").arg(left);
    return line;
}

QString ScanComparison::deviceKind() const
{
    return sameDevice ? QStringLiteral("Same device")
                      : QStringLiteral("Different or unidentified devices");
}

QString ScanComparison::summary(const Inventory &a, const Inventory &b) const
{
    QString firstLine;
    if (sameDevice) {
        firstLine = QStringLiteral("Same device \u00B7 Changes from A to B");
        // An undated scan is older than any dated one.
        if (a.scannedAt && (!b.scannedAt || *a.scannedAt > *b.scannedAt))
            firstLine += QStringLiteral(" \u00B7 A is newer than B");
    } else {
        firstLine = QStringLiteral(
            "Device comparison \u00B7 Only in A/B refers to the selected inventories");
    }
    QString text = firstLine + u'\n' + countLine() +
        QStringLiteral(". Blank sizes cannot be compared. Version changes may be upgrades or "
                       "downgrades.");
    if (const QString device = deviceLine(); !device.isEmpty())
        text += u'\n' + device;
    return text;
}

QString ScanComparison::deviceLine() const
{
    if (deviceChanges.isEmpty())
        return QString();
    return QStringLiteral("Device: ") + deviceChanges.join(QStringLiteral("; "));
}
