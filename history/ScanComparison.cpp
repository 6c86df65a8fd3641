#include "history/ScanComparison.h"

#include "scanning/AppList.h"
#include "scanning/Collation.h"

#include <QHash>

#include <cmath>

namespace {

// Apps by bundle identifier, in first-seen order; the first row of an identifier wins.
struct Index {
    QHash<QString, Row> rows;
    QStringList order;

    explicit Index(const Inventory &inventory)
    {
        const QList<Row> named = inventory.namedRows();
        rows.reserve(named.size());
        for (const Row &row : named) {
            const QString bundle = row.value(Column::bundleIdentifier);
            if (bundle.isEmpty() || rows.contains(bundle))
                continue;
            rows.insert(bundle, row);
            order.append(bundle);
        }
    }
};

std::optional<double> totalMB(const Row &row)
{
    const QString *text = row.find(Column::totalMB);
    if (!text)
        return std::nullopt;
    const std::optional<double> value = AppList::parseNumber(*text);
    return value && std::isfinite(*value) ? value : std::nullopt;
}

} // namespace

ScanComparison ScanComparison::compare(const Inventory &a, const Inventory &b)
{
    ScanComparison comparison;
    const std::optional<QString> deviceA = a.resolvedDeviceID();
    const std::optional<QString> deviceB = b.resolvedDeviceID();
    comparison.sameDevice = deviceA && deviceB && *deviceA == *deviceB;

    const Index indexA(a);
    const Index indexB(b);
    QStringList keys = indexA.order;
    for (const QString &bundle : indexB.order) {
        if (!indexA.rows.contains(bundle))
            keys.append(bundle);
    }

    QList<ScanDifference> differences;
    differences.reserve(keys.size());
    for (const QString &bundle : keys) {
        const auto foundA = indexA.rows.constFind(bundle);
        const auto foundB = indexB.rows.constFind(bundle);
        const Row *rowA = foundA != indexA.rows.cend() ? &*foundA : nullptr;
        const Row *rowB = foundB != indexB.rows.cend() ? &*foundB : nullptr;
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
            const std::optional<double> before = totalMB(*rowA);
            const std::optional<double> after = totalMB(*rowB);
            if (before && after) {
                const double delta = *after - *before;
                difference.sizeDelta = QString::asprintf("%+.2f", delta);
                storageChanged = std::abs(delta) >= 0.005;
            }
        }

        if (!rowB)
            difference.status =
                comparison.sameDevice ? ScanDifference::removed : ScanDifference::onlyInA;
        else if (!rowA)
            difference.status =
                comparison.sameDevice ? ScanDifference::added : ScanDifference::onlyInB;
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
