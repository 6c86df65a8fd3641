#include "app/cli/Show.h"

#include "app/cli/AppFilter.h"
#include "app/cli/Printer.h"
#include "app/cli/ScanArgument.h"
#include "common/PlainText.h"
#include "reports/CsvExport.h"
#include "scanning/AppList.h"
#include "scanning/DeviceDescription.h"
#include "scanning/FieldOrder.h"

namespace {

const QString csvOption = QStringLiteral("csv");
const QString jsonOption = QStringLiteral("json");

} // namespace

Show::Show()
    : Command({
          .name = QStringLiteral("show"),
          .usage = QStringLiteral("show [SCAN] [--csv | --json]"),
          .summary = QStringLiteral("Show the current inventory or a saved scan"),
          .positionalMax = 1,
          .options = AppFilter::options() +
              QList<QCommandLineOption>{
                  {csvOption, QStringLiteral("Write the apps as CSV.")},
                  {jsonOption, QStringLiteral("Write the inventory as JSON.")}},
      })
{}

int Show::execute(const QCommandLineParser &parser, Printer &printer) const
{
    if (parser.isSet(csvOption) && parser.isSet(jsonOption))
        return printer.usageError(QStringLiteral("choose one of --csv and --json"));
    const Inventory shown = ScanArgument::inventory(parser.positionalArguments().value(0));
    const QList<Row> rows = AppFilter(parser).rows(shown);
    if (parser.isSet(csvOption)) {
        CsvExport::write(shown.fields, rows,
                         [&printer](QByteArrayView piece) { printer.printBytes(piece); });
        return 0;
    }
    if (parser.isSet(jsonOption)) {
        Inventory selected = shown;
        selected.rows = rows;
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
    if (const QString device = DeviceDescription::line(shown.deviceFacts); !device.isEmpty())
        printer.out() << PlainText::printable(device) << "\n\n";
    printer.printTable(shown.fields, cells);
    printer.out() << AppList::countText(rows.size(), shown.namedRows().size()) << "\n";
    return 0;
}
