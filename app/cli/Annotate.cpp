#include "app/cli/Annotate.h"

#include "app/cli/Printer.h"
#include "app/cli/ScanArgument.h"
#include "common/HostWording.h"
#include "history/HistoryStore.h"

namespace {

const QString nameOption = QStringLiteral("name");
const QString notesOption = QStringLiteral("notes");

} // namespace

Annotate::Annotate()
    : Command({
          .name = QStringLiteral("annotate"),
          .usage = QStringLiteral("annotate SCAN [--name TEXT] [--notes TEXT]"),
          .summary = QStringLiteral("Name a saved scan and add notes to it"),
          .positionalMin = 1,
          .positionalMax = 1,
          .options = {{nameOption, QStringLiteral("The scan's name."), QStringLiteral("text")},
                      {notesOption, QStringLiteral("Notes about the scan."),
                       QStringLiteral("text")}},
      })
{}

int Annotate::execute(const QCommandLineParser &parser, Printer &printer) const
{
    // Saying "saved" with nothing to save would hide a mistyped option.
    if (!parser.isSet(nameOption) && !parser.isSet(notesOption))
        return printer.usageError(QStringLiteral("annotate needs --name TEXT or --notes TEXT"));
    const SavedScan scan = ScanArgument::saved(parser.positionalArguments().at(0));
    // An unset option keeps what is saved when the change is made, whoever saved it.
    HistoryStore::AnnotationChange change;
    if (parser.isSet(nameOption))
        change.name = parser.value(nameOption);
    if (parser.isSet(notesOption))
        change.notes = parser.value(notesOption);
    HistoryStore().saveAnnotation(scan.id, change);
    printer.out() << QStringLiteral("Snapshot name and notes saved on %1.\n")
                         .arg(HostWording::thisComputer());
    return 0;
}
