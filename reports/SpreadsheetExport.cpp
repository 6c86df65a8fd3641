#include "reports/SpreadsheetExport.h"

#include "history/ScanComparison.h"
#include "reports/Workbook.h"
#include "scanning/AppList.h"
#include "scanning/Column.h"
#include "scanning/DeviceDescription.h"
#include "scanning/FieldOrder.h"
#include "scanning/Inventory.h"

#include <QHash>
#include <QSet>

namespace {

// How the table's columns go into a sheet: sizes as numbers, the scan date as a day, the rest
// as the text it is.
Workbook::Cell cell(const QString &field, const QString &text)
{
    static const QSet<QString> sizes{Column::appMB, Column::dataMB, Column::totalMB};
    if (sizes.contains(field))
        return Workbook::Cell::of(AppList::parseNumber(text));
    if (field == Column::scanDate) {
        const QDate day = QDate::fromString(text, u"MM/dd/yyyy");
        if (day.isValid())
            return Workbook::Cell::of(day);
    }
    return Workbook::Cell::of(text);
}

} // namespace

void SpreadsheetExport::inventory(const QString &path, const Inventory &inventory,
                                  const QStringList &fields, const QList<Row> &rows)
{
    Workbook workbook;
    const FieldOrder order(fields);
    QList<Workbook::Line> lines;
    lines.reserve(rows.size());
    for (const Row &row : rows) {
        const QStringList texts = order.values(row);
        Workbook::Line line;
        line.reserve(texts.size());
        for (qsizetype i = 0; i < texts.size(); ++i)
            line.append(cell(fields[i], texts[i]));
        lines.append(std::move(line));
    }
    workbook.addTable(QStringLiteral("Apps"), fields, lines);

    QList<Workbook::Line> device{
        {Workbook::Cell::of(QStringLiteral("Device name")),
         Workbook::Cell::of(inventory.deviceName.value_or(QString()))},
        {Workbook::Cell::of(QStringLiteral("Device identifier")),
         Workbook::Cell::of(inventory.resolvedDeviceID().value_or(QString()))},
        {Workbook::Cell::of(QStringLiteral("Scan date (UTC)")),
         inventory.scannedAt ? Workbook::Cell::of(*inventory.scannedAt) : Workbook::Cell()},
        {Workbook::Cell::of(QStringLiteral("Snapshot name")),
         Workbook::Cell::of(inventory.snapshotName.value_or(QString()))},
        {Workbook::Cell::of(QStringLiteral("Notes")),
         Workbook::Cell::of(inventory.snapshotNotes.value_or(QString()))},
    };
    for (const auto &[label, value] : DeviceDescription::details(inventory.deviceFacts))
        device.append({Workbook::Cell::of(label), Workbook::Cell::of(value)});
    workbook.addTable(QStringLiteral("Device"), {QStringLiteral("Item"), QStringLiteral("Value")},
                      device);
    workbook.save(path);
}

void SpreadsheetExport::comparison(const QString &path, const QString &titleA,
                                   const QString &titleB, const Inventory &a, const Inventory &b,
                                   const QList<ScanDifference> &rows)
{
    // The sizes compared, from the rows the comparison took.
    const QHash<QString, const Row *> appsA = ScanComparison::comparedApps(a);
    const QHash<QString, const Row *> appsB = ScanComparison::comparedApps(b);
    auto total = [](const QHash<QString, const Row *> &apps, const QString &bundle) {
        const Row *row = apps.value(bundle);
        return Workbook::Cell::of(row ? row->megabytes(Column::totalMB) : std::nullopt);
    };
    QList<Workbook::Line> lines;
    lines.reserve(rows.size());
    for (const ScanDifference &difference : rows) {
        lines.append({
            Workbook::Cell::of(difference.name),
            Workbook::Cell::of(difference.bundle),
            Workbook::Cell::of(difference.category),
            Workbook::Cell::of(difference.status),
            Workbook::Cell::of(difference.versionA),
            Workbook::Cell::of(difference.versionB),
            total(appsA, difference.bundle),
            total(appsB, difference.bundle),
            Workbook::Cell::of(AppList::parseNumber(difference.sizeDelta)),
        });
    }
    Workbook workbook;
    workbook.addTable(QStringLiteral("Comparison"),
                      {QStringLiteral("App"), Column::bundleIdentifier, Column::category,
                       QStringLiteral("Difference"), QStringLiteral("Version A"),
                       QStringLiteral("Version B"), QStringLiteral("Total MB A"),
                       QStringLiteral("Total MB B"), QStringLiteral("Change MB")},
                      lines);
    workbook.addTable(QStringLiteral("Scans"), {QStringLiteral("Scan"), QStringLiteral("Title")},
                      {{Workbook::Cell::of(QStringLiteral("A")), Workbook::Cell::of(titleA)},
                       {Workbook::Cell::of(QStringLiteral("B")), Workbook::Cell::of(titleB)}});
    workbook.save(path);
}
