#include "reports/SpreadsheetExport.h"

#include "history/DeviceReview.h"
#include "history/ScanComparison.h"
#include "reports/Workbook.h"
#include "scanning/AppList.h"
#include "scanning/Column.h"
#include "scanning/FieldOrder.h"
#include "scanning/Inventory.h"
#include "scanning/device/DeviceDescription.h"

#include <QHash>
#include <QSet>

namespace {

// How the table's columns go into a sheet: sizes as numbers, the scan date as the moment of the
// scan (a day where the row's day is not the scan's), the rest as the text it is.
Workbook::Cell cell(const QString &field, const QString &text,
                    const std::optional<QDateTime> &scannedAt)
{
    static const QSet<QString> sizes{Column::appMB, Column::dataMB, Column::totalMB};
    if (sizes.contains(field))
        return Workbook::Cell::of(AppList::parseNumber(text));
    if (field == Column::scanDate) {
        const QDate day = QDate::fromString(text, u"MM/dd/yyyy");
        if (day.isValid() && scannedAt && scannedAt->toUTC().date() == day)
            return Workbook::Cell::of(*scannedAt);
        if (day.isValid())
            return Workbook::Cell::of(day);
    }
    return Workbook::Cell::of(text);
}

// What a workbook tells of a scan: the rows of an inventory's "Device" sheet, the columns of a
// comparison's "Scans" sheet.
struct ScanItem {
    QString label;
    Workbook::Cell (*cell)(const Inventory &);
};

const ScanItem scanItems[] = {
    {QStringLiteral("Device name"),
     [](const Inventory &scan) { return Workbook::Cell::of(scan.deviceName.value_or(QString())); }},
    {QStringLiteral("Device identifier"),
     [](const Inventory &scan) {
         return Workbook::Cell::of(scan.resolvedDeviceID().value_or(QString()));
     }},
    {QStringLiteral("Scan date (UTC)"),
     [](const Inventory &scan) {
         return scan.scannedAt ? Workbook::Cell::of(*scan.scannedAt) : Workbook::Cell();
     }},
    {QStringLiteral("Snapshot name"),
     [](const Inventory &scan) {
         return Workbook::Cell::of(scan.snapshotName.value_or(QString()));
     }},
    {QStringLiteral("Notes"),
     [](const Inventory &scan) {
         return Workbook::Cell::of(scan.snapshotNotes.value_or(QString()));
     }},
};

Workbook::Line itemLine(const QString &label, const QString &value)
{
    return {Workbook::Cell::of(label), Workbook::Cell::of(value)};
}

} // namespace

void SpreadsheetExport::inventory(const QString &path, const Inventory &inventory,
                                  const QStringList &fields, const QList<Row> &rows,
                                  const QString &filter)
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
            line.append(cell(fields[i], texts[i], inventory.scannedAt));
        lines.append(std::move(line));
    }
    workbook.addTable(QStringLiteral("Apps"), fields, lines);

    QList<Workbook::Line> device;
    for (const ScanItem &item : scanItems)
        device.append({Workbook::Cell::of(item.label), item.cell(inventory)});
    // A sheet of some apps must say which, as the report does.
    device.append(itemLine(QStringLiteral("Filter"), filter));
    // The device sheet's facts and warnings, as the window's Device Details shows them.
    const DeviceReview review(inventory);
    for (const DeviceWarnings::Warning &warning : review.warnings())
        device.append(itemLine(QStringLiteral("Warning"), warning.text));
    for (const DeviceDescription::Section &section : review.sections()) {
        for (const auto &[label, value] : section.lines)
            device.append(itemLine(label, value));
    }
    workbook.addTable(QStringLiteral("Device"), {QStringLiteral("Item"), QStringLiteral("Value")},
                      device);
    workbook.save(path);
}

void SpreadsheetExport::comparison(const QString &path, const QString &titleA,
                                   const QString &titleB, const Inventory &a, const Inventory &b,
                                   const ScanComparison &comparison,
                                   const QList<ScanDifference> &rows, bool changesOnly)
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

    // "Scan" and "Title" stay the first two columns, as scripts have read them.
    QStringList scanHeader{QStringLiteral("Scan"), QStringLiteral("Title")};
    for (const ScanItem &item : scanItems)
        scanHeader.append(item.label);
    scanHeader.append(QStringLiteral("Apps"));
    auto scanLine = [](const QString &letter, const QString &title, const Inventory &scan) {
        Workbook::Line line{Workbook::Cell::of(letter), Workbook::Cell::of(title)};
        for (const ScanItem &item : scanItems)
            line.append(item.cell(scan));
        line.append(Workbook::Cell::count(scan.namedRows().size()));
        return line;
    };
    workbook.addTable(
        QStringLiteral("Scans"), scanHeader,
        {scanLine(QStringLiteral("A"), titleA, a), scanLine(QStringLiteral("B"), titleB, b)});

    // An empty "Comparison" sheet is not left to speak for itself.
    workbook.addTable(
        QStringLiteral("Summary"), {QStringLiteral("Item"), QStringLiteral("Value")},
        {itemLine(QStringLiteral("Differences"),
                  comparison.changedCount() == 0 ? QStringLiteral("No differences between A and B")
                                                 : comparison.countLine()),
         itemLine(QStringLiteral("Devices"), comparison.deviceKind()),
         itemLine(QStringLiteral("Device changes"),
                  comparison.deviceChanges.isEmpty()
                      ? QStringLiteral("None known")
                      : comparison.deviceChanges.join(QStringLiteral("; "))),
         itemLine(QStringLiteral("Apps with no measured change"),
                  changesOnly ? QStringLiteral("Left out") : QStringLiteral("Included"))});
    workbook.save(path);
}
