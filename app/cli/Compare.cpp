#include "app/cli/Compare.h"

#include "app/cli/History.h"
#include "app/cli/Printer.h"
#include "app/cli/ScanArgument.h"
#include "common/PlainText.h"
#include "common/Plural.h"
#include "history/ScanComparison.h"
#include "reports/ReportDocument.h"
#include "reports/SpreadsheetExport.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString allOption = QStringLiteral("all");
const QString jsonOption = QStringLiteral("json");
const QString pdfOption = QStringLiteral("pdf");
const QString xlsxOption = QStringLiteral("xlsx");

// A compared scan as history --json lists it, with its title, and the device identifier the
// comparison went by (an import may name it in its rows alone).
QJsonObject scanJson(const SavedScan &scan)
{
    QJsonObject entry = History::scanJson(scan.id, scan.inventory, scan.appCount);
    entry.insert(QStringLiteral("title"), scan.title());
    if (const std::optional<QString> device = scan.inventory.resolvedDeviceID())
        entry.insert(QStringLiteral("deviceID"), *device);
    return entry;
}

} // namespace

Compare::Compare()
    : Command({
          .name = QStringLiteral("compare"),
          .usage = QStringLiteral("compare A B [--all] [--json] [--pdf FILE] [--xlsx FILE]"),
          .summary = QStringLiteral("Show what changed from scan A to scan B"),
          .positionalMin = 2,
          .positionalMax = 2,
          .options = {{allOption, QStringLiteral("Include apps with no measured change.")},
                      {jsonOption, QStringLiteral("Write the differences as JSON.")},
                      {pdfOption, QStringLiteral("Write the comparison report to <file>."),
                       QStringLiteral("file")},
                      {xlsxOption,
                       QStringLiteral("Write the differences as a spreadsheet to <file>."),
                       QStringLiteral("file")}},
      })
{}

int Compare::execute(const QCommandLineParser &parser, Printer &printer) const
{
    const SavedScan a = ScanArgument::saved(parser.positionalArguments().at(0));
    const SavedScan b = ScanArgument::saved(parser.positionalArguments().at(1));
    const ScanComparison comparison = ScanComparison::compare(a.inventory, b.inventory);
    const bool changesOnly = !parser.isSet(allOption);
    const QList<ScanDifference> shown = comparison.shown(changesOnly);

    if (parser.isSet(pdfOption)) {
        const QString path = parser.value(pdfOption);
        ReportDocument::comparison(a.title(), b.title(), comparison, shown, changesOnly)
            .write(path);
        printer.out() << QStringLiteral("Saved report to %1.\n")
                             .arg(PlainText::printable(QFileInfo(path).fileName(), true));
    }
    if (parser.isSet(xlsxOption)) {
        const QString path = parser.value(xlsxOption);
        SpreadsheetExport::comparison(path, a.title(), b.title(), a.inventory, b.inventory,
                                      comparison, shown, changesOnly);
        printer.out() << QStringLiteral("Exported %1 to %2.\n")
                             .arg(Plural::apps(shown.size()),
                                  PlainText::printable(QFileInfo(path).fileName(), true));
    }
    if (parser.isSet(pdfOption) || parser.isSet(xlsxOption))
        return 0;
    if (parser.isSet(jsonOption)) {
        QJsonArray differences;
        for (const ScanDifference &d : shown)
            differences.append(QJsonObject{{QStringLiteral("name"), d.name},
                                           {QStringLiteral("bundle"), d.bundle},
                                           {QStringLiteral("category"), d.category},
                                           {QStringLiteral("status"), d.status},
                                           {QStringLiteral("versionA"), d.versionA},
                                           {QStringLiteral("versionB"), d.versionB},
                                           {QStringLiteral("sizeDelta"), d.sizeDelta}});
        const QJsonObject result{
            {QStringLiteral("a"), a.id},
            {QStringLiteral("b"), b.id},
            {QStringLiteral("scanA"), scanJson(a)},
            {QStringLiteral("scanB"), scanJson(b)},
            {QStringLiteral("sameDevice"), comparison.sameDevice},
            {QStringLiteral("deviceChanges"), QJsonArray::fromStringList(comparison.deviceChanges)},
            {QStringLiteral("changedCount"), qint64(comparison.changedCount())},
            {QStringLiteral("leftStoreCount"),
             qint64(comparison.countOf(ScanDifference::leftStore))},
            {QStringLiteral("changesOnly"), changesOnly},
            {QStringLiteral("differences"), differences}};
        printer.printJson(QJsonDocument(result).toJson(QJsonDocument::Compact));
        return 0;
    }
    printer.out() << "A: " << PlainText::printable(a.title(), true)
                  << "\nB: " << PlainText::printable(b.title(), true) << "\n"
                  << PlainText::printable(comparison.summary(a.inventory, b.inventory)) << "\n\n";
    QList<QStringList> rows;
    const QString dash = QStringLiteral("\u2014");
    for (const ScanDifference &d : shown)
        rows.append({d.name, d.status, d.versionA.isEmpty() ? dash : d.versionA,
                     d.versionB.isEmpty() ? dash : d.versionB,
                     d.sizeDelta.isEmpty() ? dash : d.sizeDelta});
    printer.printTable({QStringLiteral("App"), QStringLiteral("Difference"),
                        QStringLiteral("Version A"), QStringLiteral("Version B"),
                        QStringLiteral("MB change (B \u2212 A)")},
                       rows);
    return 0;
}
