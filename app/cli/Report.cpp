#include "app/cli/Report.h"

#include "app/cli/AppFilter.h"
#include "app/cli/Printer.h"
#include "app/cli/ScanArgument.h"
#include "common/PlainText.h"
#include "reports/ReportDocument.h"

#include <QFileInfo>

namespace {

const QString pdfOption = QStringLiteral("pdf");

} // namespace

Report::Report()
    : Command({
          .name = QStringLiteral("report"),
          .usage = QStringLiteral("report [SCAN] --pdf FILE"),
          .summary = QStringLiteral("Write the inventory report as a PDF"),
          .positionalMax = 1,
          .options = AppFilter::options() +
              QList<QCommandLineOption>{{pdfOption, QStringLiteral("Write the report to <file>."),
                                         QStringLiteral("file")}},
      })
{}

int Report::execute(const QCommandLineParser &parser, Printer &printer) const
{
    if (!parser.isSet(pdfOption))
        return printer.usageError(QStringLiteral("report needs --pdf FILE"));
    const Inventory shown = ScanArgument::inventory(parser.positionalArguments().value(0));
    const AppFilter filter(parser);
    const QString path = parser.value(pdfOption);
    ReportDocument::inventory(shown, filter.rows(shown), filter.text()).write(path);
    printer.out() << QStringLiteral("Saved report to %1.\n")
                         .arg(PlainText::printable(QFileInfo(path).fileName(), true));
    return 0;
}
