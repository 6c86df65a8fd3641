#include "app/CommandLineTool.h"

#include "common/Failure.h"
#include "common/HostWording.h"
#include "common/LaunchOptions.h"
#include "common/Locations.h"
#include "common/PlainText.h"
#include "history/HistoryStore.h"
#include "history/ScanComparison.h"
#include "reports/CsvExport.h"
#include "reports/ReportDocument.h"
#include "scanning/Column.h"
#include "scanning/DemoDevice.h"
#include "scanning/ScanError.h"
#include "scanning/Scanner.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <thread>

#include <sys/ioctl.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

std::atomic<bool> interrupted = false;

void onInterrupt(int)
{
    interrupted = true;
}

// The terminal's width, or 0 when the output is not a terminal.
int terminalWidth(FILE *stream)
{
    winsize size{};
    if (!isatty(fileno(stream)) || ioctl(fileno(stream), TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_col;
}

QString fitted(const QString &text, int width)
{
    if (text.size() <= width)
        return text.leftJustified(width);
    return text.left(std::max(0, width - 1)) + QChar(0x2026);
}

} // namespace

CommandLineTool::CommandLineTool(QTextStream &out, QTextStream &err) : m_out(out), m_err(err) {}

const QList<CommandLineTool::Command> &CommandLineTool::commands()
{
    static const QList<Command> table = {
        {QStringLiteral("scan"), QStringLiteral("scan [--device UDID | --all-devices]"),
         QStringLiteral("Scan the connected device and save the inventory"), 0, 0,
         &CommandLineTool::scan},
        {QStringLiteral("devices"), QStringLiteral("devices [--json]"),
         QStringLiteral("List the connected devices"), 0, 0, &CommandLineTool::devices},
        {QStringLiteral("history"), QStringLiteral("history [--json]"),
         QStringLiteral("List the saved scans, newest first"), 0, 0, &CommandLineTool::history},
        {QStringLiteral("show"), QStringLiteral("show [SCAN] [--csv | --json]"),
         QStringLiteral("Show the current inventory or a saved scan"), 0, 1,
         &CommandLineTool::show},
        {QStringLiteral("compare"), QStringLiteral("compare A B [--all] [--json] [--pdf FILE]"),
         QStringLiteral("Show what changed from scan A to scan B"), 2, 2,
         &CommandLineTool::compare},
        {QStringLiteral("report"), QStringLiteral("report [SCAN] --pdf FILE"),
         QStringLiteral("Write the inventory report as a PDF"), 0, 1, &CommandLineTool::report},
        {QStringLiteral("annotate"), QStringLiteral("annotate SCAN [--name TEXT] [--notes TEXT]"),
         QStringLiteral("Name a saved scan and add notes to it"), 1, 1, &CommandLineTool::annotate},
    };
    return table;
}

QString CommandLineTool::helpText()
{
    QString text = QStringLiteral("Usage: quillet-cli COMMAND [OPTIONS]\n\nCommands:\n");
    for (const Command &command : commands()) {
        const QString synopsis = command.usage.left(command.usage.indexOf(u" [--"));
        text += QStringLiteral("  ") + synopsis.leftJustified(24) + QStringLiteral("  ") +
            command.summary + u'\n';
    }
    return text +
        QStringLiteral("\n"
                       "A SCAN is a saved scan's identifier or a unique beginning of it.\n"
                       "Every command takes --data-dir DIR, --resources DIR and --lookup-url URL,\n"
                       "or --demo for a made-up device with a data folder of its own;\n"
                       "\"quillet-cli COMMAND --help\" lists a command's options.\n");
}

int CommandLineTool::usageError(const QString &message)
{
    m_err << "quillet-cli: " << PlainText::printable(message) << "\n";
    m_err.flush();
    return 2;
}

int CommandLineTool::run(const QStringList &arguments)
{
    m_arguments = arguments;
    const QString first = arguments.value(1);
    if (first.isEmpty() || first == u"--help" || first == u"-h" || first == u"help") {
        (first.isEmpty() ? m_err : m_out) << helpText();
        return first.isEmpty() ? 2 : 0;
    }
    if (first == u"--version" || first == u"-v") {
        m_out << "quillet-cli " << QCoreApplication::applicationVersion() << "\n";
        return 0;
    }
    for (const Command &command : commands()) {
        if (command.name == first)
            m_command = &command;
    }
    if (!m_command)
        return usageError(
            QStringLiteral("unknown command \u201C%1\u201D; see quillet-cli --help").arg(first));
    try {
        return (this->*m_command->run)();
    } catch (const Failure &failure) {
        m_out.flush();
        m_err << PlainText::printable(failure.description()) << "\n";
        m_err.flush();
        return 1;
    }
}

bool CommandLineTool::parse()
{
    const QString &usage = m_command->usage;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this command's options."));
    m_parser.addOptions(LaunchOptions::options());
    m_parser.addOption(help);
    m_parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("The command."),
                                   usage);
    // The command word itself stays out of the positional arguments.
    QStringList rest = m_arguments;
    rest.removeAt(1);
    if (!m_parser.parse(rest)) {
        m_exitStatus = usageError(m_parser.errorText());
        return false;
    }
    if (m_parser.isSet(help)) {
        // Qt's help names the program by its path and lists the command word as an argument.
        QString options = m_parser.helpText();
        options = options.mid(options.indexOf(QStringLiteral("Options:")));
        options.truncate(options.indexOf(QStringLiteral("\nArguments:")));
        m_out << "Usage: quillet-cli " << usage << "\n\n" << options << "\n";
        m_exitStatus = 0;
        return false;
    }
    const int count = int(m_parser.positionalArguments().size());
    if (count < m_command->positionalMin || count > m_command->positionalMax) {
        m_exitStatus = usageError(QStringLiteral("usage: quillet-cli %1").arg(usage));
        return false;
    }
    if (const std::optional<QString> error = LaunchOptions::apply(m_parser)) {
        m_exitStatus = usageError(*error);
        return false;
    }
    if (LaunchOptions::isDemo(m_parser)) {
        DemoDevice::prepare();
        // On standard error, so that a script reading the output gets only the output.
        m_err << DemoDevice::description << "\n";
        m_err.flush();
    }
    return true;
}

void CommandLineTool::addFilterOptions()
{
    m_parser.addOptions({
        {QStringLiteral("search"),
         QStringLiteral("Only apps whose name, bundle identifier or "
                        "category contains <text>."),
         QStringLiteral("text")},
        {QStringLiteral("category"), QStringLiteral("Only apps of <category> (or Uncategorized)."),
         QStringLiteral("category")},
        {QStringLiteral("sort"), QStringLiteral("Sort by <column>, or <column>:desc."),
         QStringLiteral("column")},
    });
}

// --- Commands -------------------------------------------------------------------------------

int CommandLineTool::scan()
{
    m_parser.addOptions({
        {QStringLiteral("device"),
         QStringLiteral("Scan the connected device with this identifier (see devices)."),
         QStringLiteral("UDID")},
        {QStringLiteral("all-devices"),
         QStringLiteral("Scan every connected device in turn, each saved as a scan of its own.")},
    });
    if (!parse())
        return m_exitStatus;
    const QString chosen = m_parser.value(QStringLiteral("device"));
    const bool all = m_parser.isSet(QStringLiteral("all-devices"));
    if (all && !chosen.isEmpty())
        return usageError(QStringLiteral("choose one of --device and --all-devices"));

    Scanner scanner;
    const bool live = isatty(STDERR_FILENO);
    const auto progress = [this, live](const QString &message) {
        m_err << (live ? QStringLiteral("\r\x1b[K") + PlainText::printable(message, true)
                       : PlainText::printable(message) + u'\n');
        m_err.flush();
    };
    scanner.setProgress(progress);
    // What is printed for good stays; the progress line is cleared before it.
    const auto say = [this, live](QTextStream &stream, const QString &line) {
        if (live)
            m_err << "\r\x1b[K";
        m_err.flush();
        stream << PlainText::printable(line) << "\n";
        stream.flush();
    };

    // Ctrl-C asks the scanner to stop; the handler itself only sets a flag.
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::atomic<bool> finished = false;
    std::thread watcher([&] {
        while (!finished) {
            if (interrupted) {
                scanner.cancel();
                return;
            }
            std::this_thread::sleep_for(50ms);
        }
    });

    int status = 0;
    try {
        if (!all && chosen.isEmpty()) {
            say(m_out, scanSummary(scanner.scan().withStoreColumns(), false));
        } else {
            const QStringList devices = scanner.connectedDevices();
            if (devices.isEmpty())
                throw Scanner::noDevice();
            if (!chosen.isEmpty() && !devices.contains(chosen))
                throw ScanError(QStringLiteral("No connected device has the identifier %1. "
                                               "Connected: %2.")
                                    .arg(QChar(0x201C) + chosen + QChar(0x201D),
                                         devices.join(QStringLiteral(", "))));
            const QStringList scanned = all ? devices : QStringList{chosen};
            for (qsizetype i = 0; i < scanned.size(); ++i) {
                if (all)
                    progress(QStringLiteral("Scanning device %1 of %2, %3\u2026")
                                 .arg(QString::number(i + 1), QString::number(scanned.size()),
                                      scanned[i]));
                try {
                    say(m_out, scanSummary(scanner.scan(scanned[i]).withStoreColumns(), all));
                } catch (const Failure &error) {
                    // One device failing does not keep the others from their scans.
                    if (scanner.isCancelled() || !all)
                        throw;
                    say(m_err, scanned[i] + QStringLiteral(": ") + error.description());
                    status = 1;
                }
            }
        }
    } catch (const Failure &error) {
        say(m_err, error.description());
        status = 1;
    }
    finished = true;
    watcher.join();
    return status;
}

QString CommandLineTool::scanSummary(const Inventory &inventory, bool naming)
{
    const QList<Row> rows = inventory.namedRows();
    const QString summary = rows.isEmpty()
        ? QStringLiteral("Scan complete. The device listed no apps; the empty scan is saved in the "
                         "history.")
        : Scanner::completedText(rows);
    if (!naming)
        return summary;
    return QStringLiteral("%1 (%2): %3")
        .arg(inventory.deviceName.value_or(QStringLiteral("Unnamed device")),
             inventory.deviceID.value_or(QString()), summary);
}

int CommandLineTool::devices()
{
    m_parser.addOption(
        {QStringLiteral("json"), QStringLiteral("Write the devices as JSON, for scripts.")});
    if (!parse())
        return m_exitStatus;
    Scanner scanner;
    const QStringList identifiers = scanner.connectedDevices();
    QJsonArray list;
    QList<QStringList> rows;
    for (const QString &identifier : identifiers) {
        const std::optional<QString> name = scanner.deviceName(identifier);
        list.append(QJsonObject{{QStringLiteral("identifier"), identifier},
                                {QStringLiteral("name"), name ? QJsonValue(*name) : QJsonValue()}});
        rows.append({identifier, name.value_or(QStringLiteral("\u2014"))});
    }
    if (m_parser.isSet(QStringLiteral("json"))) {
        printJson(QJsonDocument(list).toJson(QJsonDocument::Compact));
        return 0;
    }
    if (rows.isEmpty()) {
        m_err << "No device is connected.\n";
        return 0;
    }
    printTable({QStringLiteral("Identifier"), QStringLiteral("Name")}, rows);
    return 0;
}

int CommandLineTool::history()
{
    m_parser.addOption({QStringLiteral("json"), QStringLiteral("Write the listing as JSON.")});
    if (!parse())
        return m_exitStatus;
    const HistoryStore::Listing listing = HistoryStore().list();
    if (!listing.notesProblem.isEmpty())
        m_err << PlainText::printable(listing.notesProblem) << "\n";
    if (m_parser.isSet(QStringLiteral("json"))) {
        auto text = [](const std::optional<QString> &value) {
            return value ? QJsonValue(*value) : QJsonValue();
        };
        QJsonArray scans;
        for (const SavedScan &scan : listing.scans) {
            const Inventory &inventory = scan.inventory;
            scans.append(QJsonObject{
                {QStringLiteral("id"), scan.id},
                {QStringLiteral("title"), scan.title()},
                {QStringLiteral("name"), text(inventory.snapshotName)},
                {QStringLiteral("notes"), text(inventory.snapshotNotes)},
                {QStringLiteral("deviceName"), text(inventory.deviceName)},
                {QStringLiteral("deviceID"), text(inventory.deviceID)},
                {QStringLiteral("scannedAt"),
                 inventory.scannedAt
                     ? QJsonValue(inventory.scannedAt->toUTC().toString(Qt::ISODateWithMs))
                     : QJsonValue()},
                {QStringLiteral("appCount"), qint64(scan.appCount)},
            });
        }
        printJson(QJsonDocument(QJsonObject{{QStringLiteral("scans"), scans},
                                            {QStringLiteral("unreadable"), listing.unreadable}})
                      .toJson(QJsonDocument::Compact));
        return 0;
    }
    QList<QStringList> rows;
    for (const SavedScan &scan : listing.scans)
        rows.append({scan.id, scan.title(), QStringLiteral("%1 apps").arg(scan.appCount)});
    printTable({QStringLiteral("ID"), QStringLiteral("Scan"), QStringLiteral("Apps")}, rows);
    if (listing.unreadable > 0)
        m_err << QStringLiteral("%1 saved scans could not be read. Their files have been "
                                "preserved.\n")
                     .arg(listing.unreadable);
    return 0;
}

int CommandLineTool::show()
{
    addFilterOptions();
    m_parser.addOptions({{QStringLiteral("csv"), QStringLiteral("Write the apps as CSV.")},
                         {QStringLiteral("json"), QStringLiteral("Write the inventory as JSON.")}});
    if (!parse())
        return m_exitStatus;
    if (m_parser.isSet(QStringLiteral("csv")) && m_parser.isSet(QStringLiteral("json")))
        return usageError(QStringLiteral("choose one of --csv and --json"));
    const Inventory shown = chosenInventory(m_parser.positionalArguments().value(0));
    const QList<Row> rows = visibleRows(shown);
    if (m_parser.isSet(QStringLiteral("csv"))) {
        m_out.flush();
        const QByteArray csv = CsvExport::content(shown.fields, rows);
        std::fwrite(csv.constData(), 1, size_t(csv.size()), stdout);
        return 0;
    }
    if (m_parser.isSet(QStringLiteral("json"))) {
        Inventory selected = shown;
        selected.rows = rows;
        printJson(selected.toJson());
        return 0;
    }
    QList<QStringList> cells;
    for (const Row &row : rows) {
        QStringList line;
        for (const QString &field : shown.fields) {
            const QString text = row.value(field);
            line.append(text.isEmpty() ? QStringLiteral("\u2014") : text);
        }
        cells.append(line);
    }
    printTable(shown.fields, cells);
    m_out << AppList::countText(rows.size(), shown.namedRows().size()) << "\n";
    return 0;
}

int CommandLineTool::compare()
{
    m_parser.addOptions({
        {QStringLiteral("all"), QStringLiteral("Include apps with no measured change.")},
        {QStringLiteral("json"), QStringLiteral("Write the differences as JSON.")},
        {QStringLiteral("pdf"), QStringLiteral("Write the comparison report to <file>."),
         QStringLiteral("file")},
    });
    if (!parse())
        return m_exitStatus;
    const SavedScan a = savedScan(m_parser.positionalArguments().at(0));
    const SavedScan b = savedScan(m_parser.positionalArguments().at(1));
    const ScanComparison comparison = ScanComparison::compare(a.inventory, b.inventory);
    const bool changesOnly = !m_parser.isSet(QStringLiteral("all"));
    const QList<ScanDifference> shown = comparison.shown(changesOnly);

    if (m_parser.isSet(QStringLiteral("pdf"))) {
        const QString path = m_parser.value(QStringLiteral("pdf"));
        ReportDocument::comparison(a.title(), b.title(), comparison, shown, changesOnly)
            .write(path);
        m_out << QStringLiteral("Saved report to %1.\n")
                     .arg(PlainText::printable(QFileInfo(path).fileName(), true));
        return 0;
    }
    if (m_parser.isSet(QStringLiteral("json"))) {
        QJsonArray differences;
        for (const ScanDifference &d : shown)
            differences.append(QJsonObject{{QStringLiteral("name"), d.name},
                                           {QStringLiteral("bundle"), d.bundle},
                                           {QStringLiteral("category"), d.category},
                                           {QStringLiteral("status"), d.status},
                                           {QStringLiteral("versionA"), d.versionA},
                                           {QStringLiteral("versionB"), d.versionB},
                                           {QStringLiteral("sizeDelta"), d.sizeDelta}});
        const QJsonObject result{{QStringLiteral("a"), a.id},
                                 {QStringLiteral("b"), b.id},
                                 {QStringLiteral("sameDevice"), comparison.sameDevice},
                                 {QStringLiteral("differences"), differences}};
        printJson(QJsonDocument(result).toJson(QJsonDocument::Compact));
        return 0;
    }
    m_out << "A: " << PlainText::printable(a.title(), true)
          << "\nB: " << PlainText::printable(b.title(), true) << "\n"
          << PlainText::printable(comparison.summary(a.inventory, b.inventory)) << "\n\n";
    QList<QStringList> rows;
    const QString dash = QStringLiteral("\u2014");
    for (const ScanDifference &d : shown)
        rows.append({d.name, d.status, d.versionA.isEmpty() ? dash : d.versionA,
                     d.versionB.isEmpty() ? dash : d.versionB,
                     d.sizeDelta.isEmpty() ? dash : d.sizeDelta});
    printTable({QStringLiteral("App"), QStringLiteral("Difference"), QStringLiteral("Version A"),
                QStringLiteral("Version B"), QStringLiteral("MB change (B \u2212 A)")},
               rows);
    return 0;
}

int CommandLineTool::report()
{
    addFilterOptions();
    m_parser.addOption({QStringLiteral("pdf"), QStringLiteral("Write the report to <file>."),
                        QStringLiteral("file")});
    if (!parse())
        return m_exitStatus;
    if (!m_parser.isSet(QStringLiteral("pdf")))
        return usageError(QStringLiteral("report needs --pdf FILE"));
    const Inventory shown = chosenInventory(m_parser.positionalArguments().value(0));
    const QString path = m_parser.value(QStringLiteral("pdf"));
    ReportDocument::inventory(shown, visibleRows(shown), filterText()).write(path);
    m_out << QStringLiteral("Saved report to %1.\n")
                 .arg(PlainText::printable(QFileInfo(path).fileName(), true));
    return 0;
}

int CommandLineTool::annotate()
{
    m_parser.addOptions({
        {QStringLiteral("name"), QStringLiteral("The scan's name."), QStringLiteral("text")},
        {QStringLiteral("notes"), QStringLiteral("Notes about the scan."), QStringLiteral("text")},
    });
    if (!parse())
        return m_exitStatus;
    const SavedScan scan = savedScan(m_parser.positionalArguments().at(0));
    // An unset option keeps what is saved when the change is made, whoever saved it.
    HistoryStore::AnnotationChange change;
    if (m_parser.isSet(QStringLiteral("name")))
        change.name = m_parser.value(QStringLiteral("name"));
    if (m_parser.isSet(QStringLiteral("notes")))
        change.notes = m_parser.value(QStringLiteral("notes"));
    HistoryStore().saveAnnotation(scan.id, change);
    m_out << QStringLiteral("Snapshot name and notes saved on %1.\n")
                 .arg(HostWording::thisComputer());
    return 0;
}

// --- Shared -------------------------------------------------------------------------------

SavedScan CommandLineTool::savedScan(const QString &idOrPrefix)
{
    const HistoryStore::Listing listing = HistoryStore().list();
    QList<SavedScan> matches;
    // The listing holds no rows; the chosen scan's are read now.
    auto loaded = [](SavedScan scan) {
        scan.inventory = HistoryStore().inventory(scan);
        return scan;
    };
    for (const SavedScan &scan : listing.scans) {
        if (scan.id.compare(idOrPrefix, Qt::CaseInsensitive) == 0)
            return loaded(scan);
        if (!idOrPrefix.isEmpty() && scan.id.startsWith(idOrPrefix, Qt::CaseInsensitive))
            matches.append(scan);
    }
    if (matches.size() == 1)
        return loaded(matches.first());
    throw ScanError(
        matches.isEmpty()
            ? QStringLiteral("No saved scan has the identifier \u201C%1\u201D.").arg(idOrPrefix)
            : QStringLiteral("\u201C%1\u201D begins %2 saved scans' identifiers; give "
                             "more of it.")
                  .arg(idOrPrefix, QString::number(matches.size())));
}

Inventory CommandLineTool::chosenInventory(const QString &scan)
{
    if (!scan.isEmpty())
        return savedScan(scan).inventory.withStoreColumns();
    return Scanner().load().withStoreColumns();
}

QList<Row> CommandLineTool::visibleRows(const Inventory &shown)
{
    const AppList apps(shown.namedRows());
    QString sortColumn = m_parser.value(QStringLiteral("sort"));
    Qt::SortOrder order = Qt::AscendingOrder;
    if (sortColumn.endsWith(QStringLiteral(":desc"), Qt::CaseInsensitive)) {
        sortColumn.chop(5);
        order = Qt::DescendingOrder;
    } else if (sortColumn.endsWith(QStringLiteral(":asc"), Qt::CaseInsensitive)) {
        sortColumn.chop(4);
    }
    if (!sortColumn.isEmpty() && !shown.fields.contains(sortColumn))
        throw ScanError(QStringLiteral("The inventory has no column \u201C%1\u201D. Its columns "
                                       "are: %2.")
                            .arg(sortColumn, shown.fields.join(QStringLiteral(", "))));
    const QString category = m_parser.isSet(QStringLiteral("category"))
        ? m_parser.value(QStringLiteral("category"))
        : AppList::allCategories;
    QList<Row> rows;
    for (qsizetype index :
         apps.visible(m_parser.value(QStringLiteral("search")), category, sortColumn, order))
        rows.append(apps.rows().at(index));
    return rows;
}

QString CommandLineTool::filterText() const
{
    QString text = QStringLiteral("Category: ") +
        (m_parser.isSet(QStringLiteral("category")) ? m_parser.value(QStringLiteral("category"))
                                                    : AppList::allCategories);
    if (const QString search = m_parser.value(QStringLiteral("search")); !search.isEmpty())
        text += QStringLiteral(" \u00B7 Search: ") + search;
    return text;
}

void CommandLineTool::printJson(const QByteArray &json)
{
    m_out.flush();
    const QByteArray line = json + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
}

void CommandLineTool::printTable(const QStringList &headings, const QList<QStringList> &rows)
{
    QList<int> widths;
    for (const QString &heading : headings)
        widths.append(int(heading.size()));
    for (const QStringList &row : rows) {
        for (int i = 0; i < widths.size(); ++i)
            widths[i] = std::max(widths[i], int(row.value(i).size()));
    }
    // On a terminal, the widest column gives way until the table fits.
    if (const int available = terminalWidth(stdout); available > 0) {
        auto total = [&] {
            int sum = 0;
            for (int width : widths)
                sum += width + 2;
            return sum;
        };
        while (total() > available) {
            const auto widest = std::max_element(widths.begin(), widths.end());
            if (*widest <= 8)
                break;
            --*widest;
        }
    }
    auto printLine = [&](const QStringList &cells) {
        QString line;
        for (int i = 0; i < widths.size(); ++i)
            line += fitted(PlainText::printable(cells.value(i), true), widths[i]) +
                QStringLiteral("  ");
        while (line.endsWith(u' '))
            line.chop(1);
        m_out << line << "\n";
    };
    printLine(headings);
    for (const QStringList &row : rows)
        printLine(row);
}
