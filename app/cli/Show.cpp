#include "app/cli/Show.h"

#include "app/cli/AppFilter.h"
#include "app/cli/Printer.h"
#include "app/cli/ScanArgument.h"
#include "common/PlainText.h"
#include "common/Plural.h"
#include "history/DeviceReview.h"
#include "reports/CsvExport.h"
#include "reports/SpreadsheetExport.h"
#include "scanning/AppList.h"
#include "scanning/FieldOrder.h"
#include "scanning/device/DeviceDescription.h"
#include "scanning/device/DeviceFacts.h"

#include <QFileInfo>

namespace {

const QString csvOption = QStringLiteral("csv");
const QString jsonOption = QStringLiteral("json");
const QString xlsxOption = QStringLiteral("xlsx");

} // namespace

Show::Show()
    : Command({
          .name = QStringLiteral("show"),
          .usage = QStringLiteral("show [SCAN] [--csv | --json | --xlsx FILE]"),
          .summary = QStringLiteral("Show the current inventory or a saved scan"),
          .positionalMax = 1,
          .options = AppFilter::options() +
              QList<QCommandLineOption>{
                  {csvOption, QStringLiteral("Write the apps as CSV.")},
                  {jsonOption, QStringLiteral("Write the inventory as JSON.")},
                  {xlsxOption, QStringLiteral("Write the apps as a spreadsheet to <file>."),
                   QStringLiteral("file")}},
      })
{}

int Show::execute(const QCommandLineParser &parser, Printer &printer) const
{
    if (int(parser.isSet(csvOption)) + int(parser.isSet(jsonOption)) +
            int(parser.isSet(xlsxOption)) >
        1)
        return printer.usageError(QStringLiteral("choose one of --csv, --json and --xlsx"));
    const Inventory shown = ScanArgument::inventory(parser.positionalArguments().value(0));
    const AppFilter filter(parser);
    const QList<Row> rows = filter.rows(shown);
    if (parser.isSet(csvOption)) {
        CsvExport::write(shown.fields, rows,
                         [&printer](QByteArrayView piece) { printer.printBytes(piece); });
        return 0;
    }
    if (parser.isSet(xlsxOption)) {
        const QString path = parser.value(xlsxOption);
        SpreadsheetExport::inventory(path, shown, shown.fields, rows, filter.text());
        printer.out() << QStringLiteral("Exported %1 to %2.\n")
                             .arg(Plural::apps(rows.size()),
                                  PlainText::printable(QFileInfo(path).fileName(), true));
        return 0;
    }
    if (parser.isSet(jsonOption)) {
        Inventory selected = shown;
        selected.rows = rows;
        selected.setDeviceFacts(shown.deviceFacts().shareable());
        printer.printJson(selected.toJson());
        return 0;
    }
    QList<QStringList> cells;
    const FieldOrder order(shown.fields);
    for (const Row &row : rows) {
        QStringList line = order.values(row);
        for (QString &text : line) {
            if (text.isEmpty())
                text = QStringLiteral("\u2014");
        }
        cells.append(line);
    }
    // Whose apps these are, as the window's title block says.
    QStringList device;
    if (shown.deviceName && !shown.deviceName->trimmed().isEmpty())
        device.append(shown.deviceName->trimmed());
    if (const QString facts = DeviceDescription::line(shown.deviceFacts()); !facts.isEmpty())
        device.append(facts);
    if (!device.isEmpty())
        printer.out() << PlainText::printable(device.join(QStringLiteral(" \u00B7 ")), true)
                      << "\n";
    // What people act on stands under the device, as in the window.
    const DeviceReview review(shown);
    for (const DeviceWarnings::Warning &warning : review.warnings())
        printer.out() << "! " << PlainText::printable(warning.text, true) << "\n";
    if (!device.isEmpty())
        printer.out() << "\n";
    printer.printTable(shown.fields, cells);
    printer.out() << AppList::countText(rows.size(), shown.namedRows().size()) << "\n";
    return 0;
}
