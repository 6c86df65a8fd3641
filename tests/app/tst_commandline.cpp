#include "app/cli/Command.h"
#include "app/cli/CommandLineTool.h"
#include "common/DataFile.h"
#include "common/DataFolderLock.h"
#include "common/Failure.h"
#include "common/HostWording.h"
#include "common/LaunchOptions.h"
#include "history/HistoryStore.h"
#include "reports/CsvExport.h"
#include "scanning/AppList.h"
#include "scanning/Column.h"
#include "tests/InventoryPrinting.h"
#include "tests/LookupServer.h"
#include "tests/PdfReader.h"
#include "tests/SampleInventory.h"
#include "tests/SpreadsheetReader.h"
#include "tests/TestFiles.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace SampleInventory;
using namespace TestFiles;

namespace {

// The options every command takes, as "--data-dir", in their order.
QStringList commonOptions()
{
    QStringList names;
    for (const QCommandLineOption &option : LaunchOptions::options())
        names.append(u"--"_s + option.names().constFirst());
    return names;
}

const QString device = u"00008110-001A2B3C4D5E801E"_s;
const QString idA = u"AAAAAAAA-0000-4000-8000-000000000001"_s;
const QString idB = u"AAAAAAAA-0000-4000-8000-000000000002"_s;
const QString idC = u"C0FFEE00-0000-4000-8000-000000000003"_s;
const QString blank = u"\u2014"_s;
const QString cancelled = u"Scan cancelled. Your previous inventory is preserved."_s;

Inventory scanA()
{
    Inventory inventory = library();
    inventory.deviceID = device;
    inventory.scanID = idA;
    return inventory;
}

// A month later on the same device: Notes updated, Ledger grew, Atlas gone, Zest new.
Inventory scanB()
{
    Inventory inventory = scanA();
    inventory.rows = {
        app(u"Zest"_s, u"Games"_s, u"com.example.zest"_s, u"1.0"_s, u"2.00"_s),
        app(u"Notes"_s, u"Productivity"_s, u"com.example.notes"_s, u"2.6"_s, u"3.23"_s),
        app(u"Maps"_s, u"Navigation"_s, u"com.example.maps"_s, u"10.1"_s, u""_s),
        app(u"Ledger"_s, u""_s, u"org.sample.ledger"_s, u"1.0"_s, u"13.00"_s)};
    inventory.scannedAt = utc("2024-04-01T10:00:00");
    inventory.scanID = idB;
    return inventory;
}

// Another device, scanned earlier.
Inventory scanC()
{
    Inventory inventory = scanA();
    inventory.rows = {
        app(u"Notes"_s, u"Productivity"_s, u"com.example.notes"_s, u"2.5"_s, u"3.23"_s),
        app(u"Kite"_s, u"Weather"_s, u"com.example.kite"_s, u"1.0"_s, u"2.00"_s)};
    inventory.deviceName = u"Work iPad"_s;
    inventory.deviceID = u"00008030-000000000000002E"_s;
    inventory.scannedAt = utc("2024-02-01T10:00:00");
    inventory.scanID = idC;
    return inventory;
}

// A table line's cells: the columns are at least two spaces apart, the values never are.
QStringList cells(const QString &line)
{
    return line.split(QRegularExpression(u" {2,}"_s));
}

QStringList names(const QList<Row> &rows)
{
    QStringList result;
    for (const Row &row : rows)
        result.append(row.value(Column::appName));
    return result;
}

QString title(const QString &id)
{
    for (const SavedScan &scan : HistoryStore().list().scans) {
        if (scan.id == id)
            return scan.title();
    }
    return {};
}

// Something other than a file of ours, as another process might leave it: a FIFO, a link to
// an endless device, a file past the size limit (sparse, so it costs no disk) or a folder.
bool plant(const QString &path, const QString &kind)
{
    const QByteArray name = QFile::encodeName(path);
    if (kind == u"FIFO")
        return ::mkfifo(name.constData(), 0600) == 0;
    if (kind == u"link")
        return ::symlink("/dev/zero", name.constData()) == 0;
    if (kind == u"folder")
        return QDir().mkdir(path);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.resize(DataFile::defaultLimit + 1);
}

// What stands at `path`, unfollowed: its type and size.
std::pair<mode_t, qint64> standing(const QString &path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return {info.st_mode & S_IFMT, S_ISREG(info.st_mode) ? qint64(info.st_size) : 0};
}

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void usage_data();
    void usage();
    void commandHelp_data();
    void commandHelp();
    void scan();
    void deviceByStart_data();
    void deviceByStart();
    void scanFails_data();
    void scanFails();
    void interruptedScan_data();
    void interruptedScan();
    void history();
    void show_data();
    void show();
    void outOfProportion_data();
    void outOfProportion();
    void csvMatchesTheWindow();
    void chooseScan_data();
    void chooseScan();
    void compare_data();
    void compare();
    void compareJson();
    void pdf_data();
    void pdf();
    void xlsx_data();
    void xlsx();
    void annotate();
    void damagedFiles_data();
    void damagedFiles();
    void controlCharacters_data();
    void controlCharacters();
    void plantedFiles_data();
    void plantedFiles();
    void concurrentAnnotations_data();
    void concurrentAnnotations();
    void unusableLock_data();
    void unusableLock();
    void wrongDataFolder_data();
    void wrongDataFolder();
    void exportTargets_data();
    void exportTargets();
    void completion_data();
    void completion();
    void manual_data();
    void manual();
    void windowOnTerminal_data();
    void windowOnTerminal();

private:
    struct Result {
        int status = -1;
        QByteArray out;
        QString err;
        QString text() const { return QString::fromUtf8(out); }
    };
    // Runs quillet-cli, by default on the test's data and tools and the local lookup service.
    Result run(QStringList arguments, bool locations = true);
    void prepare(QProcess &process, QStringList &arguments, bool locations) const;
    // Starts quillet-cli on the test's locations, as nobody after runAsNobody().
    void start(QProcess &process, QStringList arguments) const;
    // As root: later start()s run as nobody, the test's folders are handed to nobody and
    // `keepRoot` back to root. False when nobody cannot run the build's programs.
    bool runAsNobody(const QStringList &keepRoot);
    QString data(const QString &name = {}) const { return m_root->filePath(u"data/"_s + name); }
    void tool(const QString &name, const QByteArray &output, const QByteArray &before = {});
    void connectDevice();
    void saveScans();

    QTemporaryDir m_home;
    QStringList m_runAs;
    std::unique_ptr<LookupServer> m_server;
    std::unique_ptr<QTemporaryDir> m_root;
};

void TestCommandLine::initTestCase()
{
    QVERIFY(m_home.isValid());
    QVERIFY(QFileInfo(QStringLiteral(QUILLET_CLI)).isExecutable());
    m_server = std::make_unique<LookupServer>(LookupServer::knownApps(
        {{u"com.example.notes"_s, u"Productivity"_s}, {u"com.example.maps"_s, u"Navigation"_s}}));
}

void TestCommandLine::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid() && QDir().mkpath(data()));
    // For HistoryStore() in the test itself.
    Locations::setStorage(data());
    m_runAs.clear();
}

void TestCommandLine::prepare(QProcess &process, QStringList &arguments, bool locations) const
{
    // The settings and anything else of the user's stay out of reach; the tool must choose its
    // offscreen platform by itself, with no display to fall back on.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"HOME"_s, m_home.path());
    environment.insert(u"XDG_CONFIG_HOME"_s, m_home.filePath(u"config"_s));
    for (const QString &name :
         {u"QT_QPA_PLATFORM"_s, u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QUILLET_DEBUG"_s})
        environment.remove(name);
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(m_root->path());
    if (locations)
        arguments << u"--data-dir"_s << data() << u"--resources"_s << m_root->path()
                  << u"--lookup-url"_s << m_server->url().toString();
}

void TestCommandLine::start(QProcess &process, QStringList arguments) const
{
    prepare(process, arguments, true);
    if (m_runAs.isEmpty())
        process.start(QStringLiteral(QUILLET_CLI), arguments);
    else
        process.start(m_runAs.first(),
                      m_runAs.mid(1) + QStringList{QStringLiteral(QUILLET_CLI)} + arguments);
}

bool TestCommandLine::runAsNobody(const QStringList &keepRoot)
{
    const auto handOver = [](const QString &path, uid_t user) {
        return ::lchown(QFile::encodeName(path).constData(), user, user) == 0;
    };
    for (const QString &top : {m_root->path(), m_home.path()}) {
        if (!handOver(top, 65534))
            return false;
        QDirIterator files(top,
                           QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                           QDirIterator::Subdirectories);
        while (files.hasNext()) {
            if (!handOver(files.next(), 65534))
                return false;
        }
    }
    for (const QString &path : keepRoot) {
        if (!handOver(path, 0))
            return false;
    }
    m_runAs = {u"setpriv"_s, u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s};
    QProcess probe;
    probe.start(m_runAs.first(),
                m_runAs.mid(1) + QStringList{QStringLiteral(QUILLET_CLI), u"--version"_s});
    return probe.waitForFinished(15000) && probe.exitStatus() == QProcess::NormalExit &&
        probe.exitCode() == 0;
}

TestCommandLine::Result TestCommandLine::run(QStringList arguments, bool locations)
{
    QProcess process;
    prepare(process, arguments, locations);
    process.start(QStringLiteral(QUILLET_CLI), arguments);
    if (!process.waitForFinished(15000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), QString::fromUtf8(process.readAllStandardError())};
}

// A fake device tool: runs `before`, then prints `output`.
void TestCommandLine::tool(const QString &name, const QByteArray &output, const QByteArray &before)
{
    const QString path = m_root->filePath(u"Tools/"_s + name);
    writeBytes(path + u".out"_s, output);
    writeBytes(path, "#!/bin/sh\n" + before + "cat '" + QFile::encodeName(path) + ".out'\n");
    QVERIFY(QFile(path).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

void TestCommandLine::connectDevice()
{
    tool(u"idevice_id"_s, device.toLatin1() + '\n');
    tool(u"idevicename"_s, "Test iPhone\n");
    tool(u"ideviceinstaller"_s, "Listing apps...\n" + threeApps);
}

// Scans A, B and C in the history; A is also the current inventory.
void TestCommandLine::saveScans()
{
    for (const Inventory &scan : {scanA(), scanB(), scanC()})
        HistoryStore().archive(scan);
    scanA().writeFile(data(u"inventory.json"_s));
}

void TestCommandLine::usage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("locations");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::newRow("no command") << QStringList() << false << 2 << u""_s
                                << u"Usage: quillet-cli COMMAND [OPTIONS]\n"_s;
    QTest::newRow("help") << QStringList{u"--help"_s} << false << 0
                          << u"Usage: quillet-cli COMMAND [OPTIONS]\n"_s << u""_s;
    QTest::newRow("version") << QStringList{u"--version"_s} << false << 0
                             << u"quillet-cli 1.0.0\n"_s << u""_s;
    QTest::newRow("unknown command")
        << QStringList{u"bogus"_s} << true << 2 << u""_s
        << u"quillet-cli: unknown command \u201Cbogus\u201D; see quillet-cli --help\n"_s;
    QTest::newRow("command help")
        << QStringList{u"compare"_s, u"--help"_s} << true << 0
        << u"Usage: quillet-cli compare A B [--all] [--json] [--pdf FILE] [--xlsx FILE]\n\nOptions:\n"_s
        << u""_s;
    QTest::newRow("compare with one scan")
        << QStringList{u"compare"_s, idA} << true << 2 << u""_s
        << u"quillet-cli: usage: quillet-cli compare A B [--all] [--json] [--pdf FILE] [--xlsx FILE]\n"_s;
    QTest::newRow("csv and json") << QStringList{u"show"_s, u"--csv"_s, u"--json"_s} << true << 2
                                  << u""_s
                                  << u"quillet-cli: choose one of --csv, --json and --xlsx\n"_s;
    QTest::newRow("report without a file")
        << QStringList{u"report"_s, u"--search"_s, u"o"_s} << true << 2 << u""_s
        << u"quillet-cli: report needs --pdf FILE\n"_s;
    QTest::newRow("annotate with nothing to save")
        << QStringList{u"annotate"_s, idA} << true << 2 << u""_s
        << u"quillet-cli: annotate needs --name TEXT or --notes TEXT\n"_s;
    QTest::newRow("watch for no scans")
        << QStringList{u"watch"_s, u"--count"_s, u"0"_s} << true << 2 << u""_s
        << u"quillet-cli: --count needs a whole number of scans, 1 or more\n"_s;
    QTest::newRow("option of another command") << QStringList{u"history"_s, u"--csv"_s} << true << 2
                                               << u""_s << u"quillet-cli: Unknown option"_s;
    QTest::newRow("annotate without a scan")
        << QStringList{u"annotate"_s, u"--name"_s, u"x"_s} << true << 2 << u""_s
        << u"quillet-cli: usage: quillet-cli annotate SCAN [--name TEXT] [--notes TEXT]\n"_s;
    QTest::newRow("show with two scans")
        << QStringList{u"show"_s, idA, idB} << true << 2 << u""_s
        << u"quillet-cli: usage: quillet-cli show [SCAN] [--csv | --json | --xlsx FILE]\n"_s;
    QTest::newRow("scan with an argument")
        << QStringList{u"scan"_s, device} << true << 2 << u""_s
        << u"quillet-cli: usage: quillet-cli scan [--device UDID | --all-devices]\n"_s;
    QTest::newRow("completion for another shell")
        << QStringList{u"completion"_s, u"zsh"_s} << false << 2 << u""_s
        << u"quillet-cli: usage: quillet-cli completion bash\n"_s;
    QTest::newRow("an empty workbook name")
        << QStringList{u"show"_s, u"--xlsx"_s, u""_s} << true << 2 << u""_s
        << u"quillet-cli: --xlsx needs a file name\n"_s;
    QTest::newRow("an empty report name")
        << QStringList{u"compare"_s, idA, idB, u"--pdf"_s, u""_s} << true << 2 << u""_s
        << u"quillet-cli: --pdf needs a file name\n"_s;
    QTest::newRow("an empty device")
        << QStringList{u"scan"_s, u"--device"_s, u""_s} << true << 2 << u""_s
        << u"quillet-cli: --device needs a device identifier, or the start of one\n"_s;
    // Refused before anything is asked of it.
    QTest::newRow("plain HTTP lookup elsewhere")
        << QStringList{u"history"_s, u"--lookup-url"_s, u"http://lookup.invalid/lookup"_s} << false
        << 2 << u""_s << u"quillet-cli: the lookup URL must use HTTPS"_s;
}

void TestCommandLine::usage()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, locations);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    const Result result = run(arguments, locations);
    QCOMPARE(result.status, status);
    QVERIFY2(out.isEmpty() ? result.out.isEmpty() : result.text().startsWith(out),
             result.out.constData());
    QVERIFY2(err.isEmpty() ? result.err.isEmpty() : result.err.startsWith(err),
             qPrintable(result.err));
    QVERIFY(!QFile::exists(data(u"History"_s)));
}

void TestCommandLine::commandHelp_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("usage");
    // The commands of the overview, or the long options of a command's help, as the command
    // table has them.
    QTest::addColumn<QStringList>("listed");
    QStringList overview;
    for (const auto &command : CommandLineTool::listedCommands())
        overview.append(command->name());
    QTest::newRow("overview, none of the build's")
        << QStringList{u"--help"_s} << u"COMMAND [OPTIONS]"_s << overview;
    for (const auto &command : CommandLineTool::commands()) {
        QStringList options;
        for (const QCommandLineOption &option : command->options() + Command::commonOptions())
            options.append(Command::longName(option));
        QTest::newRow(qPrintable(command->name()))
            << QStringList{command->name(), u"--help"_s} << command->usage() << options;
    }
    // A command's help is its own, whichever way it is asked for.
    QTest::newRow("scan, -h") << QStringList{u"scan"_s, u"-h"_s}
                              << u"scan [--device UDID | --all-devices]"_s
                              << QStringList{u"--device"_s, u"--all-devices"_s} + commonOptions() +
            QStringList{u"--help"_s};
}

void TestCommandLine::commandHelp()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, usage);
    QFETCH(QStringList, listed);
    const Result result = run(arguments, false);
    QCOMPARE(result.status, 0);
    QCOMPARE(result.err, u""_s);
    QStringList lines = result.text().split(u'\n');
    QCOMPARE(lines.takeFirst(), u"Usage: quillet-cli "_s + usage);
    // "  show [SCAN]   …", "  --device <UDID>   …" or "  -h, --help   …"; wrapped text is
    // indented further.
    static const QRegularExpression item(u"^  (?:-[a-z], )?([a-z-]+)"_s);
    QStringList items;
    for (const QString &line : std::as_const(lines)) {
        if (const QRegularExpressionMatch match = item.match(line); match.hasMatch())
            items.append(match.captured(1));
    }
    QCOMPARE(items, listed);
}

void TestCommandLine::scan()
{
    connectDevice();
    const Result result = run({u"scan"_s});
    // Not a terminal: one line per message, nothing rewritten in place.
    QCOMPARE(result.err,
             u"Finding connected devices…\n"
             u"Reading installed apps. Keep your device unlocked…\n"
             u"Looking up categories: 3 of 3…\n"_s);
    QCOMPARE(result.text(),
             u"Scan complete. 3 apps; 2 categories available. Saved on "_s +
                 HostWording::thisComputer() + u".\n"_s);
    QCOMPARE(result.status, 0);

    const Inventory saved = Inventory::readFile(data(u"inventory.json"_s));
    QCOMPARE(saved.deviceName, std::optional(u"Test iPhone"_s));
    QCOMPARE(names(saved.rows), (QStringList{u"Ledger"_s, u"Maps"_s, u"Notes"_s}));
    QCOMPARE(saved.rows[1].value(Column::category), u"Navigation"_s);
    QVERIFY(saved.scanID);
    QCOMPARE(QDir(data(u"History"_s)).entryList(QDir::Files),
             QStringList{*saved.scanID + u".json"_s});
    QCOMPARE(HistoryStore().inventory(HistoryStore().list().scans.value(0)), saved);
}

void TestCommandLine::deviceByStart_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("err"); // empty: the device is scanned
    const QString other = u"00008110-002B3C4D5E6F802E"_s;
    const QString connected = u"Connected: "_s + device + u", "_s + other + u".\n"_s;
    QTest::newRow("the whole identifier") << device << QString();
    QTest::newRow("a start only it has") << u"00008110-001"_s << QString();
    QTest::newRow("in lower case") << u"00008110-001a"_s << QString();
    QTest::newRow("a start both have")
        << u"00008110"_s
        << u"More than one connected device has an identifier that starts with \u201C00008110\u201D. "_s +
            connected;
    QTest::newRow("no such start")
        << u"FFFF"_s
        << u"No connected device has an identifier that starts with \u201CFFFF\u201D. "_s +
            connected;
}

// --device takes the start of an identifier, as scan ids do, when only one device has it.
void TestCommandLine::deviceByStart()
{
    QFETCH(QString, given);
    QFETCH(QString, err);
    connectDevice();
    tool(u"idevice_id"_s, device.toLatin1() + "\n00008110-002B3C4D5E6F802E\n");
    const Result result = run({u"scan"_s, u"--device"_s, given});
    QCOMPARE(result.status, err.isEmpty() ? 0 : 1);
    if (err.isEmpty())
        QCOMPARE(Inventory::readFile(data(u"inventory.json"_s)).deviceID, std::optional(device));
    else
        QVERIFY2(result.err.endsWith(err), qPrintable(result.err));
}

void TestCommandLine::scanFails_data()
{
    QTest::addColumn<QByteArray>("devices");
    QTest::addColumn<QByteArray>("installer");
    QTest::addColumn<QString>("message");
    QTest::newRow("no device") << QByteArray() << QByteArray()
                               << u"No USB device found. Connect your iPhone or iPad with a data "
                                  u"cable, unlock it, and "_s +
            HostWording::confirmTrust() + u'.';
    QTest::newRow("two devices") << QByteArray("A\nB\n") << QByteArray()
                                 << u"Multiple devices are connected. Disconnect all but the "
                                    u"device you want to scan.\nUse --device UDID or "
                                    u"--all-devices; \u201Cquillet-cli devices\u201D lists them."_s;
    QTest::newRow("device tool fails")
        << device.toLatin1()
        << QByteArray("echo 'Could not connect to lockdownd: -17' >&2\nexit 1\n")
        << u"Could not connect to lockdownd: -17"_s;
    QTest::newRow("device tool fails with control sequences")
        << device.toLatin1() << QByteArray("printf 'Lost\\033]0;owned\\007\\033[2J' >&2\nexit 1\n")
        << u"Lost\uFFFD]0;owned\uFFFD\uFFFD[2J"_s;
}

void TestCommandLine::scanFails()
{
    QFETCH(QByteArray, devices);
    QFETCH(QByteArray, installer);
    QFETCH(QString, message);
    connectDevice();
    tool(u"idevice_id"_s, devices);
    tool(u"ideviceinstaller"_s, threeApps, installer);
    scanA().writeFile(data(u"inventory.json"_s));
    const QByteArray previous = readBytes(data(u"inventory.json"_s));

    const Result result = run({u"scan"_s});
    QCOMPARE(result.status, 1);
    QCOMPARE(result.out, QByteArray());
    QVERIFY2(result.err.startsWith(u"Finding connected devices…\n"_s), qPrintable(result.err));
    QVERIFY2(result.err.endsWith(u"…\n"_s + message + u'\n'), qPrintable(result.err));
    QCOMPARE(readBytes(data(u"inventory.json"_s)), previous);
    QVERIFY(!QFile::exists(data(u"History"_s)));
}

void TestCommandLine::interruptedScan_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("devices");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("ending");
    QTest::newRow("scan") << QStringList{u"scan"_s} << QStringList{device} << 1
                          << u"\u2026\n"_s + cancelled + u'\n';
    // Both scans run at once and Ctrl-C stops both; it is how a watch ends, no failure.
    QTest::newRow("watch, two devices at once")
        << QStringList{u"watch"_s} << QStringList{device, u"00008030-000A0B0C0D0E0F10"_s} << 0
        << u"Reading installed apps. Keep your device unlocked\u2026\n"_s;
}

void TestCommandLine::interruptedScan()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, devices);
    QFETCH(int, status);
    QFETCH(QString, ending);
    connectDevice();
    tool(u"idevice_id"_s, devices.join(u'\n').toLatin1() + '\n');
    // Each listing says who it is, then never ends.
    tool(u"ideviceinstaller"_s, {}, "echo $$ >> \"$0.pids\"\nexec sleep 30\n");
    scanA().writeFile(data(u"inventory.json"_s));
    const QByteArray previous = readBytes(data(u"inventory.json"_s));
    const QString pidFile = m_root->filePath(u"Tools/ideviceinstaller.pids"_s);
    const auto sleepers = [&] {
        QList<pid_t> pids;
        for (const QByteArray &line : readBytes(pidFile).split('\n')) {
            if (!line.isEmpty())
                pids.append(line.toInt());
        }
        return pids;
    };

    QProcess process;
    prepare(process, arguments, true);
    process.start(QStringLiteral(QUILLET_CLI), arguments);
    QByteArray err;
    const auto reading = [&] {
        err += process.readAllStandardError();
        return err.contains("Reading installed apps") && QFile::exists(pidFile) &&
            readBytes(pidFile).endsWith('\n') && sleepers().size() == devices.size();
    };
    QTRY_VERIFY_WITH_TIMEOUT(reading(), 10000);

    // What Ctrl-C sends; the tools run in process groups of their own, so they get nothing.
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(::kill(pid_t(process.processId()), SIGINT), 0);
    QVERIFY(process.waitForFinished(5000));
    QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), status);
    err += process.readAllStandardError();
    QVERIFY2(err.endsWith(ending.toUtf8()), err.constData());
    QCOMPARE(process.readAllStandardOutput(), QByteArray());
    QCOMPARE(readBytes(data(u"inventory.json"_s)), previous);
    QVERIFY(!QFile::exists(data(u"History"_s)));
    for (const pid_t sleeper : sleepers()) {
        errno = 0;
        QCOMPARE(::kill(sleeper, 0), -1);
        QCOMPARE(errno, ESRCH);
    }
}

void TestCommandLine::history()
{
    saveScans();
    writeBytes(data(u"History/broken.json"_s), "{");
    writeBytes(data(u"History/list.json"_s), "[]");
    const Result result = run({u"history"_s});
    QCOMPARE(result.status, 0);
    QCOMPARE(result.err,
             u"2 saved scans could not be read: \u201Cbroken.json\u201D, "
             "\u201Clist.json\u201D. Their files have been preserved.\n"_s);
    QStringList lines = result.text().split(u'\n');
    QCOMPARE(lines.takeLast(), u""_s);
    QCOMPARE(cells(lines.takeFirst()), (QStringList{u"ID"_s, u"Scan"_s, u"Apps"_s}));
    // Newest first.
    QCOMPARE(lines.size(), 3);
    QCOMPARE(cells(lines[0]), (QStringList{idB, title(idB), u"4 apps"_s}));
    QCOMPARE(cells(lines[1]), (QStringList{idA, title(idA), u"4 apps"_s}));
    QCOMPARE(cells(lines[2]), (QStringList{idC, title(idC), u"2 apps"_s}));
    QVERIFY(title(idC).startsWith(u"Work iPad \u00B7 "_s) &&
            title(idC).endsWith(u" \u00B7 C0FFEE"_s));
    QCOMPARE(readBytes(data(u"History/broken.json"_s)), QByteArray("{"));
    QCOMPARE(readBytes(data(u"History/list.json"_s)), QByteArray("[]"));

    // The same listing for scripts.
    HistoryStore().saveAnnotation(idC, u"Cart"_s, u"Lab"_s);
    const Result json = run({u"history"_s, u"--json"_s});
    QCOMPARE(json.status, 0);
    const QJsonObject listing = QJsonDocument::fromJson(json.out).object();
    QCOMPARE(listing.value(u"unreadable"_s).toInt(), 2);
    const QJsonArray scans = listing.value(u"scans"_s).toArray();
    QCOMPARE(scans.size(), 3);
    const QJsonObject c = scans[2].toObject();
    QCOMPARE(c.value(u"id"_s).toString(), idC);
    QCOMPARE(c.value(u"title"_s).toString(), title(idC));
    QCOMPARE(c.value(u"name"_s).toString(), u"Cart"_s);
    QCOMPARE(c.value(u"notes"_s).toString(), u"Lab"_s);
    QCOMPARE(c.value(u"deviceName"_s).toString(), u"Work iPad"_s);
    QCOMPARE(c.value(u"deviceID"_s).toString(), u"00008030-000000000000002E"_s);
    QCOMPARE(c.value(u"scannedAt"_s).toString(), u"2024-02-01T10:00:00.000Z"_s);
    QCOMPARE(c.value(u"appCount"_s).toInt(), 2);
    QVERIFY(scans[0].toObject().value(u"name"_s).isNull());
}

void TestCommandLine::show_data()
{
    QTest::addColumn<QStringList>("filters");
    QTest::addColumn<QStringList>("shown");
    const QString notes = u"Notes"_s, maps = u"Maps"_s, ledger = u"Ledger"_s, atlas = u"Atlas"_s;
    QTest::newRow("everything") << QStringList() << QStringList{notes, maps, ledger, atlas};
    QTest::newRow("search, trimmed, any case")
        << QStringList{u"--search"_s, u" NOTES "_s} << QStringList{notes};
    QTest::newRow("search in categories")
        << QStringList{u"--search"_s, u"navig"_s} << QStringList{maps};
    QTest::newRow("category") << QStringList{u"--category"_s, u"Productivity"_s}
                              << QStringList{notes};
    QTest::newRow("uncategorized")
        << QStringList{u"--category"_s, AppList::uncategorized} << QStringList{ledger, atlas};
    QTest::newRow("by size") << QStringList{u"--sort"_s, u"Total MB"_s}
                             << QStringList{atlas, notes, ledger, maps};
    // Blank sizes last in either direction.
    QTest::newRow("by size, descending")
        << QStringList{u"--sort"_s, u"Total MB:desc"_s} << QStringList{ledger, notes, atlas, maps};
    QTest::newRow("by name") << QStringList{u"--sort"_s, u"App name:asc"_s}
                             << QStringList{atlas, ledger, maps, notes};
    QTest::newRow("search and sort")
        << QStringList{u"--search"_s, u"o"_s, u"--sort"_s, u"Total MB:desc"_s}
        << QStringList{ledger, notes, maps};
}

void TestCommandLine::show()
{
    QFETCH(QStringList, filters);
    QFETCH(QStringList, shown);
    scanA().writeFile(data(u"inventory.json"_s));
    Inventory expected = scanA().withStoreColumns();
    expected.rows.clear();
    for (const QString &name : shown) {
        for (const Row &row : scanA().withStoreColumns().rows) {
            if (row.value(Column::appName) == name)
                expected.rows.append(row);
        }
    }

    const Result table = run(QStringList{u"show"_s} + filters);
    QCOMPARE(table.status, 0);
    QCOMPARE(table.err, u""_s);
    QStringList lines = table.text().split(u'\n');
    QCOMPARE(lines.takeLast(), u""_s);
    QCOMPARE(lines.takeLast(), AppList::countText(shown.size(), 4));
    // The device the apps are on heads the table.
    QCOMPARE(lines.takeFirst(), *scanA().deviceName);
    QCOMPARE(lines.takeFirst(), u""_s);
    QCOMPARE(cells(lines.takeFirst()), expected.fields);
    QCOMPARE(lines.size(), expected.rows.size());
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QStringList values;
        for (const QString &field : expected.fields) {
            const QString value = expected.rows[i].value(field);
            values.append(value.isEmpty() ? blank : value);
        }
        QCOMPARE(cells(lines[i]), values);
    }

    const Result csv = run(QStringList{u"show"_s, u"--csv"_s} + filters);
    QCOMPARE(csv.status, 0);
    QCOMPARE(csv.out, CsvExport::content(expected.fields, expected.rows));

    const Result json = run(QStringList{u"show"_s, u"--json"_s} + filters);
    QCOMPARE(json.status, 0);
    QCOMPARE(Inventory::fromJson(json.out, u"standard output"_s), expected);
    QCOMPARE(readBytes(data(u"inventory.json"_s)), scanA().toJson());
}

// Files within every limit whose shape once cost minutes or gigabytes: shown whole and right.
void TestCommandLine::outOfProportion_data()
{
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("values");
    QStringList wide{u"App name"_s};
    QStringList values{u"Notes"_s};
    for (int i = 1; i < 20'000; ++i) {
        wide.append(u"c"_s + QString::number(i));
        values.append(u"v"_s + QString::number(i));
    }
    QTest::newRow("a column named ten thousand times")
        << QStringList(10'000, u"App name"_s) + QStringList{u"Version"_s}
        << QStringList{u"App name"_s, u"Version"_s} << QStringList{u"Notes"_s, u"2.1"_s};
    QTest::newRow("a row of 20,000 columns") << wide << wide << values;
}

void TestCommandLine::outOfProportion()
{
    QFETCH(QStringList, fields);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, values);
    // Written by hand: the names need no escaping, and a JSON object of 20,000 keys is slow.
    QStringList cellsJson;
    for (qsizetype i = 0; i < shown.size(); ++i)
        cellsJson.append(u'"' + shown[i] + u"\":\""_s + values[i] + u'"');
    writeBytes(data(u"inventory.json"_s),
               (u"{\"fields\":[\""_s + fields.join(u"\",\""_s) + u"\"],\"rows\":[{"_s +
                cellsJson.join(u',') + u"}]}"_s)
                   .toUtf8());

    const auto quoted = [](const QStringList &cells) {
        return (u'"' + cells.join(u"\",\""_s) + u"\"\r\n"_s).toUtf8();
    };
    const Result csv = run({u"show"_s, u"--csv"_s});
    QCOMPARE(csv.status, 0);
    QCOMPARE(csv.out, "\xEF\xBB\xBF" + quoted(shown) + quoted(values));

    const Result table = run({u"show"_s});
    QCOMPARE(table.status, 0);
    const QStringList lines = table.text().split(u'\n');
    QCOMPARE(cells(lines.value(0)), shown);
    QCOMPARE(cells(lines.value(1)), values);
}

// The bytes tst_mainwindow's exportCSV pins for the window's export of the same view.
void TestCommandLine::csvMatchesTheWindow()
{
    scanA().writeFile(data(u"inventory.json"_s));
    const Result result =
        run({u"show"_s, u"--csv"_s, u"--search"_s, u"o"_s, u"--sort"_s, u"Total MB:desc"_s});
    QCOMPARE(result.status, 0);
    QCOMPARE(result.out,
             QByteArray("\xEF\xBB\xBF\"App name\",\"Category\",\"Bundle identifier\",\"Version\","
                        "\"Total MB\"\r\n"
                        "\"Ledger\",\"\",\"org.sample.ledger\",\"1.0\",\"12.50\"\r\n"
                        "\"Notes\",\"Productivity\",\"com.example.notes\",\"2.5\",\"3.23\"\r\n"
                        "\"Maps\",\"Navigation\",\"com.example.maps\",\"10.1\",\"\"\r\n"));
}

void TestCommandLine::chooseScan_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("error");
    const QString json = u"--json"_s;
    QTest::newRow("identifier") << QStringList{u"show"_s, idB, json} << idB << u""_s;
    QTest::newRow("identifier in lower case")
        << QStringList{u"show"_s, idA.toLower(), json} << idA << u""_s;
    QTest::newRow("unique beginning") << QStringList{u"show"_s, u"c0fFeE"_s, json} << idC << u""_s;
    QTest::newRow("ambiguous beginning")
        << QStringList{u"show"_s, u"aaaaaaaa"_s} << u""_s
        << u"\u201Caaaaaaaa\u201D begins 2 saved scans' identifiers; give more of it."_s;
    QTest::newRow("unknown identifier")
        << QStringList{u"show"_s, u"DEADBEEF"_s} << u""_s
        << u"No saved scan has the identifier \u201CDEADBEEF\u201D."_s;
    QTest::newRow("unknown identifier to compare")
        << QStringList{u"compare"_s, idA, u"nope"_s} << u""_s
        << u"No saved scan has the identifier \u201Cnope\u201D."_s;
    QTest::newRow("unknown identifier to annotate")
        << QStringList{u"annotate"_s, u"0"_s, u"--name"_s, u"x"_s} << u""_s
        << u"No saved scan has the identifier \u201C0\u201D."_s;
    QTest::newRow("sort by a missing column")
        << QStringList{u"show"_s, u"c0ffee"_s, u"--sort"_s, u"Size:desc"_s} << u""_s
        << u"The inventory has no column \u201CSize\u201D. Its columns are: App name, Category, "
           u"Bundle identifier, Version, Total MB."_s;
}

void TestCommandLine::chooseScan()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, chosen);
    QFETCH(QString, error);
    saveScans();
    const Result result = run(arguments);
    if (!error.isEmpty()) {
        QCOMPARE(result.err, error + u'\n');
        QCOMPARE(result.out, QByteArray());
        QCOMPARE(result.status, 1);
        QVERIFY(!QFile::exists(HistoryStore().notesPath()));
        return;
    }
    QCOMPARE(result.err, u""_s);
    QCOMPARE(result.status, 0);
    Inventory expected = (chosen == idA       ? scanA()
                              : chosen == idB ? scanB()
                                              : scanC())
                             .withStoreColumns();
    expected.rows = expected.namedRows();
    QCOMPARE(Inventory::fromJson(result.out, u"standard output"_s), expected);
}

void TestCommandLine::compare_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<QString>("heading");
    QTest::addColumn<QList<QStringList>>("rows");
    const QString same = u"Same device \u00B7 Changes from A to B"_s;
    const QStringList atlas{u"Atlas"_s, u"Removed"_s, u"3.1"_s, blank, blank};
    const QStringList ledger{u"Ledger"_s, u"Storage changed"_s, u"1.0"_s, u"1.0"_s, u"+0.50"_s};
    const QStringList maps{u"Maps"_s, u"No measured change"_s, u"10.1"_s, u"10.1"_s, blank};
    const QStringList notes{u"Notes"_s, u"Version changed"_s, u"2.5"_s, u"2.6"_s, u"+0.00"_s};
    const QStringList zest{u"Zest"_s, u"Added"_s, blank, u"1.0"_s, blank};
    QTest::newRow("same device") << QStringList{idA, idB} << idA << idB << same
                                 << QList<QStringList>{atlas, ledger, notes, zest};
    QTest::newRow("same device, all apps")
        << QStringList{idA, idB, u"--all"_s} << idA << idB << same
        << QList<QStringList>{atlas, ledger, maps, notes, zest};
    QTest::newRow("two devices, by beginnings")
        << QStringList{u"aaaaaaaa-0000-4000-8000-000000000001"_s, u"c0ffee"_s} << idA << idC
        << u"Device comparison \u00B7 Only in A/B refers to the selected inventories"_s
        << QList<QStringList>{{u"Atlas"_s, u"Only in A"_s, u"3.1"_s, blank, blank},
                              {u"Kite"_s, u"Only in B"_s, blank, u"1.0"_s, blank},
                              {u"Ledger"_s, u"Only in A"_s, u"1.0"_s, blank, blank},
                              {u"Maps"_s, u"Only in A"_s, u"10.1"_s, blank, blank}};
}

void TestCommandLine::compare()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(QString, heading);
    QFETCH(QList<QStringList>, rows);
    saveScans();
    const Result result = run(QStringList{u"compare"_s} + arguments);
    QCOMPARE(result.err, u""_s);
    QCOMPARE(result.status, 0);
    QStringList lines = result.text().split(u'\n');
    QCOMPARE(lines.takeLast(), u""_s);
    QCOMPARE(lines.takeFirst(), u"A: "_s + title(a));
    QCOMPARE(lines.takeFirst(), u"B: "_s + title(b));
    QCOMPARE(lines.takeFirst(), heading);
    QCOMPARE(lines.takeFirst(),
             u"4 differences across 5 apps. Blank sizes cannot be compared. "
             u"Version changes may be upgrades or downgrades."_s);
    QCOMPARE(lines.takeFirst(), u""_s);
    QCOMPARE(cells(lines.takeFirst()),
             (QStringList{u"App"_s, u"Difference"_s, u"Version A"_s, u"Version B"_s,
                          u"MB change (B \u2212 A)"_s}));
    QList<QStringList> shown;
    for (const QString &line : lines)
        shown.append(cells(line));
    QCOMPARE(shown, rows);
}

void TestCommandLine::compareJson()
{
    saveScans();
    const Result same = run({u"compare"_s, idA, idB, u"--json"_s});
    QCOMPARE(same.status, 0);
    const QJsonObject object = QJsonDocument::fromJson(same.out).object();
    QCOMPARE(object.value(u"a"_s), QJsonValue(idA));
    QCOMPARE(object.value(u"b"_s), QJsonValue(idB));
    QCOMPARE(object.value(u"sameDevice"_s), QJsonValue(true));
    // Each scan as history --json lists it (newest first: B, A, C), and what the comparison found.
    const QJsonArray listed =
        QJsonDocument::fromJson(run({u"history"_s, u"--json"_s}).out)[u"scans"_s].toArray();
    auto scan = [&listed](int index) {
        QJsonObject entry = listed[index].toObject();
        entry.remove(u"name"_s);
        entry.remove(u"notes"_s);
        return QJsonValue(entry);
    };
    QCOMPARE(object.value(u"scanA"_s), scan(1));
    QCOMPARE(object.value(u"scanB"_s), scan(0));
    QCOMPARE(object[u"scanA"_s][u"scannedAt"_s], QJsonValue(u"2024-03-01T10:00:00.000Z"_s));
    QCOMPARE(object.value(u"changesOnly"_s), QJsonValue(true));
    QCOMPARE(object.value(u"changedCount"_s).toInt(), 4);
    QCOMPARE(object.value(u"deviceChanges"_s), QJsonValue(QJsonArray()));
    // Every field of every difference, in a fixed order.
    QStringList differences;
    for (const QJsonValue &d : object.value(u"differences"_s).toArray()) {
        QStringList fields;
        for (const char *key :
             {"name", "bundle", "category", "status", "versionA", "versionB", "sizeDelta"})
            fields.append(d[QLatin1StringView(key)].toString());
        QCOMPARE(d.toObject().size(), fields.size());
        differences.append(fields.join(u'|'));
    }
    QCOMPARE(differences,
             (QStringList{u"Atlas|net.atlas.app||Removed|3.1||"_s,
                          u"Ledger|org.sample.ledger||Storage changed|1.0|1.0|+0.50"_s,
                          u"Notes|com.example.notes|Productivity|Version changed|2.5|2.6|+0.00"_s,
                          u"Zest|com.example.zest|Games|Added||1.0|"_s}));

    const Result devices = run({u"compare"_s, idA, idC, u"--json"_s, u"--all"_s});
    QCOMPARE(devices.status, 0);
    const QJsonObject all = QJsonDocument::fromJson(devices.out).object();
    QCOMPARE(all.value(u"sameDevice"_s), QJsonValue(false));
    QCOMPARE(all.value(u"scanB"_s), scan(2));
    QCOMPARE(all.value(u"changesOnly"_s), QJsonValue(false));
    QStringList statuses;
    for (const QJsonValue &value : all.value(u"differences"_s).toArray())
        statuses.append(value[u"status"_s].toString());
    QCOMPARE(statuses,
             (QStringList{u"Only in A"_s, u"Only in B"_s, u"Only in A"_s, u"Only in A"_s,
                          u"No measured change"_s}));
}

void TestCommandLine::pdf_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent");
    QTest::newRow("comparison") << QStringList{u"compare"_s, idA, idB} << u"App comparison"_s
                                << QStringList{u"Version changed"_s, u"Zest"_s}
                                << QStringList{u"No measured change"_s};
    QTest::newRow("current inventory, filtered")
        << QStringList{u"report"_s, u"--category"_s, u"Productivity"_s, u"--search"_s, u"no"_s}
        << u"App inventory"_s
        << QStringList{u"Category: Productivity \u00B7 Search: no"_s, u"Notes"_s}
        << QStringList{u"Ledger"_s, u"Maps"_s};
    QTest::newRow("saved scan") << QStringList{u"report"_s, u"c0ffee"_s} << u"App inventory"_s
                                << QStringList{u"Category: All categories"_s, u"Kite"_s}
                                << QStringList{u"Atlas"_s, u"Search:"_s};
}

void TestCommandLine::pdf()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, title);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);
    if (!PdfReader::available())
        QSKIP("poppler's command-line tools are not installed");
    saveScans();
    const QString path = m_root->filePath(u"Reports/out.pdf"_s);
    QDir().mkpath(QFileInfo(path).absolutePath());

    const Result result = run(arguments << u"--pdf"_s << path);
    QCOMPARE(result.err, u""_s);
    QCOMPARE(result.text(), u"Saved report to out.pdf.\n"_s);
    QCOMPARE(result.status, 0);
    QCOMPARE(PdfReader::info(path).value(u"Title"_s), title);
    const QString text =
        QString::fromUtf8(PdfReader::run(u"pdftotext"_s, {u"-enc"_s, u"UTF-8"_s, path, u"-"_s}));
    for (const QString &phrase : present)
        QVERIFY2(text.contains(phrase), qPrintable(phrase));
    for (const QString &phrase : absent)
        QVERIFY2(!text.contains(phrase), qPrintable(phrase));
}

void TestCommandLine::xlsx_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent");
    QTest::newRow("comparison") << QStringList{u"compare"_s, idA, idB} << u"Comparison"_s
                                << QStringList{u"Version changed"_s, u"Zest"_s}
                                << QStringList{u"No measured change"_s};
    QTest::newRow("current inventory, filtered")
        << QStringList{u"show"_s, u"--category"_s, u"Productivity"_s, u"--search"_s, u"no"_s}
        << u"Apps"_s << QStringList{u"Notes"_s} << QStringList{u"Ledger"_s, u"Maps"_s};
    QTest::newRow("the filter, with the device")
        << QStringList{u"show"_s, u"--category"_s, u"Productivity"_s, u"--search"_s, u"no"_s}
        << u"Device"_s
        << QStringList{u"Filter"_s, u"Category: Productivity \u00B7 Search: no"_s, u"Old iPhone"_s}
        << QStringList{u"Category: All categories"_s};
    QTest::newRow("comparison, what it found")
        << QStringList{u"compare"_s, idA, idC, u"--all"_s} << u"Summary"_s
        << QStringList{u"4 differences across 5 apps"_s, u"Different or unidentified devices"_s,
                       u"Included"_s}
        << QStringList{u"Left out"_s};
}

void TestCommandLine::xlsx()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, sheet);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);
    saveScans();
    const QString path = m_root->filePath(u"out.xlsx"_s);
    const Result result = run(arguments << u"--xlsx"_s << path);
    QCOMPARE(result.err, u""_s);
    QVERIFY2(result.text().startsWith(u"Exported "_s) &&
                 result.text().endsWith(u" to out.xlsx.\n"_s),
             qPrintable(result.text()));
    QCOMPARE(result.status, 0);
    QStringList texts;
    for (const SpreadsheetReader::Cell &cell : SpreadsheetReader::read(path).value(sheet))
        texts << cell.value;
    for (const QString &text : present)
        QVERIFY2(texts.contains(text), qPrintable(text));
    for (const QString &text : absent)
        QVERIFY2(!texts.contains(text), qPrintable(text));
}

void TestCommandLine::annotate()
{
    saveScans();
    const Result named =
        run({u"annotate"_s, idA, u"--name"_s, u"  Before\nupdate  "_s, u"--notes"_s, u"n"_s});
    QCOMPARE(named.err, u""_s);
    QCOMPARE(named.text(),
             u"Snapshot name and notes saved on "_s + HostWording::thisComputer() + u".\n"_s);
    QCOMPARE(named.status, 0);
    const auto saved = [] {
        return QJsonDocument::fromJson(readBytes(HistoryStore().notesPath())).object();
    };
    QCOMPARE(
        saved(),
        (QJsonObject{{idA, QJsonObject{{u"name"_s, u"Before update"_s}, {u"notes"_s, u"n"_s}}}}));

    const Result history = run({u"history"_s});
    QCOMPARE(history.status, 0);
    const QStringList line = cells(history.text().split(u'\n').value(2));
    QCOMPARE(line.value(0), idA);
    QCOMPARE(line.value(1), title(idA));
    QVERIFY2(title(idA).startsWith(u"Before update \u00B7 Old iPhone \u00B7 "_s),
             qPrintable(title(idA)));

    // What is not given stays as it was, as an untouched field in the editor would.
    QCOMPARE(run({u"annotate"_s, u"aaaaaaaa-0000-4000-8000-000000000001"_s, u"--notes"_s,
                  u"two\nlines"_s})
                 .status,
             0);
    QCOMPARE(
        saved(),
        (QJsonObject{
            {idA, QJsonObject{{u"name"_s, u"Before update"_s}, {u"notes"_s, u"two\nlines"_s}}}}));
}

void TestCommandLine::damagedFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("inventory not JSON")
        << u"inventory.json"_s << QByteArray("{\"fields\": [") << QStringList{u"show"_s};
    QTest::newRow("inventory without rows, report")
        << u"inventory.json"_s << QByteArray("{\"fields\": [\"App name\"]}")
        << QStringList{u"report"_s, u"--pdf"_s, u"out.pdf"_s};
    QTest::newRow("notes not an object") << u"snapshot-notes.json"_s << QByteArray("[]")
                                         << QStringList{u"annotate"_s, idA, u"--name"_s, u"x"_s};
}

void TestCommandLine::damagedFiles()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, arguments);
    saveScans();
    writeBytes(data(file), bytes);
    // The message the window shows for the same file.
    QString message;
    try {
        if (file == u"inventory.json")
            Inventory::readFile(data(file));
        else
            HistoryStore().saveAnnotation(idA, u"x"_s, QString());
    } catch (const Failure &failure) {
        message = failure.description();
    }
    QVERIFY(message.startsWith(u"The file \u201C"_s + file + u"\u201D could not be read: "_s));

    const Result result = run(arguments);
    QCOMPARE(result.err, message + u'\n');
    QCOMPARE(result.out, QByteArray());
    QCOMPARE(result.status, 1);
    QCOMPARE(readBytes(data(file)), bytes);
    QVERIFY(!QFile::exists(m_root->filePath(u"out.pdf"_s)));
}

void TestCommandLine::plantedFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("FIFO") << u"FIFO"_s << u"it is not an ordinary file"_s;
    QTest::newRow("link to /dev/zero") << u"link"_s << u"it is a link, not a file"_s;
    QTest::newRow("oversized") << u"large"_s << u"it is larger than 50 MB"_s;
    QTest::newRow("folder") << u"folder"_s << u"it is a folder"_s;
}

// Read as damaged files at once (run() gives up after 15 s), and left where they are.
void TestCommandLine::plantedFiles()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    saveScans();
    const QByteArray listed = run({u"history"_s}).out;
    const QString archive = data(u"History/planted.json"_s);
    const QString inventory = data(u"inventory.json"_s);
    QVERIFY(QFile::remove(inventory));
    for (const QString &path : {archive, inventory})
        QVERIFY2(plant(path, kind), qPrintable(path));
    const auto archiveBefore = standing(archive);
    const auto inventoryBefore = standing(inventory);

    const Result history = run({u"history"_s});
    QCOMPARE(history.err,
             u"1 saved scan could not be read: \u201Cplanted.json\u201D. Its file "
             "has been preserved.\n"_s);
    QCOMPARE(history.out, listed);
    QCOMPARE(history.status, 0);

    const Result show = run({u"show"_s});
    QCOMPARE(show.err,
             u"The file \u201Cinventory.json\u201D could not be read: "_s + reason + u".\n"_s);
    QCOMPARE(show.status, 1);

    QCOMPARE(standing(archive), archiveBefore);
    QCOMPARE(standing(inventory), inventoryBefore);
}

void TestCommandLine::concurrentAnnotations_data()
{
    QTest::addColumn<int>("scans");
    // How the lock file stands before the writers start, and whose it is.
    QTest::addColumn<QString>("lock");
    QTest::addColumn<bool>("otherUser");
    QTest::newRow("ten writers, ten scans") << 10 << u""_s << false;
    QTest::newRow("the name and the notes of one scan") << 1 << u""_s << false;
    // flock needs no write access, so these still keep writers apart.
    QTest::newRow("read-only lock file") << 10 << u"0444"_s << true;
    QTest::newRow("another user's lock file") << 10 << u"another user's 0644"_s << true;
}

// Writers started together each keep what they saved, round after round.
void TestCommandLine::concurrentAnnotations()
{
    QFETCH(int, scans);
    QFETCH(QString, lock);
    QFETCH(bool, otherUser);
    QStringList ids;
    for (int i = 0; i < scans; ++i) {
        Inventory scan = scanA();
        scan.scanID = u"AAAAAAAA-0000-4000-8000-%1"_s.arg(i, 12, 10, QChar(u'0'));
        HistoryStore().archive(scan);
        ids.append(*scan.scanID);
    }
    const QString lockPath = data(DataFolderLock::fileName());
    if (!lock.isEmpty()) {
        writeBytes(lockPath, {});
        QVERIFY(::chmod(QFile::encodeName(lockPath).constData(),
                        lock.right(4).toUInt(nullptr, 8)) == 0);
    }
    // Permissions bind everyone but root: as root, the writers run as nobody.
    const bool anotherUsers = lock.startsWith(u"another"_s);
    if (otherUser && ::geteuid() == 0) {
        if (!runAsNobody(anotherUsers ? QStringList{lockPath} : QStringList()))
            QSKIP("nobody cannot run the programs of this build tree");
    } else if (anotherUsers) {
        QSKIP("a file of another user's needs root to make");
    }
    for (int round = 0; round < 3; ++round) {
        std::vector<std::unique_ptr<QProcess>> writers;
        auto launch = [&](const QStringList &arguments) {
            start(*writers.emplace_back(std::make_unique<QProcess>()), arguments);
        };
        for (const QString &id : std::as_const(ids)) {
            launch({u"annotate"_s, id, u"--name"_s, id + u" round "_s + QString::number(round)});
            if (scans == 1)
                launch({u"annotate"_s, id, u"--notes"_s, u"notes "_s + QString::number(round)});
        }
        for (const auto &writer : writers) {
            QVERIFY(writer->waitForFinished(30000));
            QVERIFY2(writer->exitCode() == 0, writer->readAllStandardError().constData());
        }
        const SnapshotAnnotation::Map saved =
            SnapshotAnnotation::readMap(HistoryStore().notesPath());
        for (const QString &id : std::as_const(ids)) {
            QCOMPARE(saved.value(id).name, id + u" round "_s + QString::number(round));
            if (scans == 1)
                QCOMPARE(saved.value(id).notes, u"notes "_s + QString::number(round));
        }
    }
}

void TestCommandLine::unusableLock_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a link") << u"link"_s << u"it is a link, not a file"_s;
    QTest::newRow("a folder") << u"folder"_s << u"it is a folder, not a file"_s;
    QTest::newRow("a FIFO") << u"FIFO"_s << u"it is not an ordinary file"_s;
    QTest::newRow("another user's, private")
        << u"another user's"_s
        << u"it belongs to another user (quillet-cli run with sudo "
           "leaves one behind) and you cannot read it"_s;
}

// A lock that cannot be taken is never skipped: nothing is written, and the message says which
// file stands in the way.
void TestCommandLine::unusableLock()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    saveScans();
    const QString lockPath = data(DataFolderLock::fileName());
    if (kind == u"another user's") {
        if (::geteuid() != 0)
            QSKIP("a file of another user's needs root to make");
        writeBytes(lockPath, {});
        QVERIFY(::chmod(QFile::encodeName(lockPath).constData(), 0600) == 0);
        if (!runAsNobody({lockPath}))
            QSKIP("nobody cannot run the programs of this build tree");
    } else {
        QVERIFY(plant(lockPath, kind));
    }
    const QByteArray notesBefore = readBytes(HistoryStore().notesPath());
    QProcess process;
    start(process, {u"annotate"_s, idB, u"--name"_s, u"Kept?"_s});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 1);
    QCOMPARE(QString::fromUtf8(process.readAllStandardError()),
             u"Nothing was saved: the data folder\u2019s lock file \u201C%1\u201D cannot be used, "
             "because %2. Remove that file (it holds nothing) and try again.\n"_s.arg(
                 QFileInfo(lockPath).absoluteFilePath(), reason));
    QCOMPARE(readBytes(HistoryStore().notesPath()), notesBefore);
}

void TestCommandLine::wrongDataFolder_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("err");
    const QString notAFolder =
        u"The contents of the folder \u201Cfile\u201D could not be read: it is not a folder.\n"_s;
    QTest::newRow("empty") << u""_s << u"history"_s << 2
                           << u"quillet-cli: --data-dir needs a folder\n"_s;
    QTest::newRow("a file: history") << u"file"_s << u"history"_s << 1 << notAFolder;
    QTest::newRow("a file: show") << u"file"_s << u"show"_s << 1 << notAFolder;
    QTest::newRow("inside a file")
        << u"file/Quillet"_s << u"show"_s << 1
        << u"The contents of the folder \u201CQuillet\u201D could not be "
           "read: a part of its path is not a folder.\n"_s;
    // A share that is not mounted must not pass for an empty history in a nightly script.
    for (const QString &command :
         {u"history --json"_s, u"show --xlsx r.xlsx"_s, u"report --pdf r.pdf"_s,
          u"compare AAAA BBBB"_s, u"annotate AAAA --name N"_s})
        QTest::addRow("missing: %s", qPrintable(command))
            << u"missing"_s << command << 1
            << u"No data folder at %1: nothing has been scanned there; check --data-dir.\n"_s;
}

// A data folder that cannot be used is an error with its reason, never an empty history.
void TestCommandLine::wrongDataFolder()
{
    QFETCH(QString, folder);
    QFETCH(QString, command);
    QFETCH(int, status);
    QFETCH(QString, err);
    writeBytes(m_root->filePath(u"file"_s), "not a folder");
    const QString path = folder.isEmpty() ? folder : m_root->filePath(folder);
    const Result result = run(command.split(u' ') + QStringList{u"--data-dir"_s, path}, false);
    QCOMPARE(result.err, err.contains(u"%1"_s) ? err.arg(path) : err);
    QCOMPARE(result.out, QByteArray());
    QCOMPARE(result.status, status);
    QVERIFY(!QFile::exists(m_root->filePath(u"History"_s)));
    QVERIFY(!QFile::exists(m_root->filePath(u"missing"_s)));
    QVERIFY(!QFile::exists(m_root->filePath(u"r.xlsx"_s)));
}

void TestCommandLine::exportTargets_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("error");
    QTest::newRow("new file") << u"new"_s << QString();
    QTest::newRow("existing 0640 file") << u"0640"_s << QString();
    QTest::newRow("link to a file") << u"link"_s << QString();
    QTest::newRow("FIFO") << u"FIFO"_s << u"it is not an ordinary file"_s;
    QTest::newRow("folder") << u"folder"_s << u"a folder of that name is in the way"_s;
}

// An export is the user's document: links are followed, other kinds of file are refused, and
// the file gets the user's usual mode or keeps its own.
void TestCommandLine::exportTargets()
{
    QFETCH(QString, kind);
    QFETCH(QString, error);
    saveScans();
    const QString path = m_root->filePath(u"report.pdf"_s);
    const QString target = m_root->filePath(u"target.pdf"_s);
    QFile::Permissions expected = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
        QFile::WriteUser | QFile::ReadGroup | QFile::ReadOther;
    const mode_t umask = ::umask(022);
    if (kind == u"0640") {
        writeBytes(path, "old");
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0640) == 0);
        expected &= ~QFile::ReadOther;
    } else if (kind == u"link") {
        writeBytes(target, "old");
        QVERIFY(QFile::link(target, path));
    } else if (kind == u"FIFO") {
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0644) == 0);
    } else if (kind == u"folder") {
        QVERIFY(QDir().mkpath(path));
    }
    const Result result = run({u"report"_s, u"--pdf"_s, path});
    ::umask(umask);
    const QFileInfo written(kind == u"link" ? target : path);
    if (!error.isEmpty()) {
        QCOMPARE(result.err,
                 u"The file \u201Creport.pdf\u201D could not be saved in the folder "_s +
                     u'\u201C' + QFileInfo(m_root->path()).fileName() + u"\u201D: "_s + error +
                     u".\n"_s);
        QCOMPARE(result.status, 1);
        QCOMPARE(written.isDir(), kind == u"folder");
        return;
    }
    QCOMPARE(result.status, 0);
    QVERIFY(readBytes(written.filePath()).startsWith("%PDF"));
    QCOMPARE(written.permissions(), expected);
    QCOMPARE(QFileInfo(path).isSymLink(), kind == u"link");
}

void TestCommandLine::completion_data()
{
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QStringList>("offered");
    const QString tool = u"quillet-cli"_s;
    QStringList commands;
    for (const auto &command : CommandLineTool::listedCommands())
        commands.append(command->name());
    QTest::newRow("commands, none of the build's")
        << QStringList{tool, u""_s} << commands + QStringList{u"--help"_s, u"--version"_s};
    QTest::newRow("a command's own options and the common ones")
        << QStringList{tool, u"history"_s, u"--"_s}
        << QStringList{u"--json"_s} + commonOptions() + QStringList{u"--help"_s};
    QTest::newRow("an unknown command") << QStringList{tool, u"bogus"_s, u"--"_s} << QStringList();
    QTest::newRow("columns, quoted for the shell")
        << QStringList{tool, u"show"_s, u"--sort"_s, u"Total"_s}
        << QStringList{u"Total\\ MB"_s, u"Total\\ MB:desc"_s};
    QTest::newRow("a column begun in quotes")
        << QStringList{tool, u"report"_s, u"--sort"_s, u"'Scan"_s}
        << QStringList{u"Scan\\ date\\ \\(UTC\\)"_s};
    QTest::newRow("a category with an ampersand")
        << QStringList{tool, u"show"_s, u"--category"_s, u"Food"_s}
        << QStringList{u"Food\\ \\&\\ Drink"_s};
    QTest::newRow("free text") << QStringList{tool, u"annotate"_s, idA, u"--name"_s, u"B"_s}
                               << QStringList();
    QTest::newRow("a data folder")
        << QStringList{tool, u"show"_s, u"--data-dir"_s, u"da"_s} << QStringList{u"data"_s};
    QTest::newRow("a report file") << QStringList{tool, u"compare"_s, u"--pdf"_s, u"da"_s}
                                   << QStringList{u"data"_s, u"data.pdf"_s};
}

// The installed script, as bash runs it when Tab is pressed after `words`.
void TestCommandLine::completion()
{
    QFETCH(QStringList, words);
    QFETCH(QStringList, offered);
    const Result script = run({u"completion"_s, u"bash"_s}, false);
    QCOMPARE(script.status, 0);
    writeBytes(m_root->filePath(u"data.pdf"_s), "%PDF");

    QProcess bash;
    bash.setWorkingDirectory(m_root->path());
    bash.start(u"bash"_s,
               QStringList{u"-c"_s,
                           u"eval \"$1\"; shift; COMP_WORDS=(\"$@\"); "
                           u"COMP_CWORD=$(($# - 1)); _quillet_cli; "
                           u"printf '%s\\n' \"${COMPREPLY[@]}\""_s,
                           u"bash"_s, script.text()} +
                   words);
    QVERIFY(bash.waitForFinished(10000));
    QCOMPARE(QString::fromUtf8(bash.readAllStandardError()), u""_s);
    QStringList lines = QString::fromUtf8(bash.readAllStandardOutput()).split(u'\n');
    lines.removeAll(QString());
    lines.sort();
    offered.sort();
    QCOMPARE(lines, offered);
}

void TestCommandLine::manual_data()
{
    QTest::addColumn<QString>("lines");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent");
    QTest::addColumn<QString>("err");
    const QString prose = u".TH QUILLET-CLI 1\n.\\\" @COMMANDS@ in a comment\n@ alone\n\n"_s;
    QTest::newRow("hand-written lines as they are")
        << prose << 0 << prose.split(u'\n') << QStringList() << u""_s;
    QTest::newRow("commands, none of the build's")
        << u"@COMMANDS@"_s << 0
        << QStringList{u"\\fBshow\\fR [\\fISCAN\\fR] [\\fB\\-\\-csv\\fR | \\fB\\-\\-json\\fR | "
                       u"\\fB\\-\\-xlsx\\fR \\fIFILE\\fR]"_s,
                       u"Show the current inventory or a saved scan."_s}
        << QStringList{u"completion"_s, u"manual"_s} << u""_s;
    QTest::newRow("each command's options")
        << u"@COMMAND_OPTIONS@"_s << 0
        << QStringList{u".SS annotate"_s, u".BI \\-\\-pdf \" file\""_s,
                       u"Write the report to \\fIfile\\fR."_s, u".B \\-\\-all\\-devices"_s}
        << QStringList{u"completion"_s, u"data\\-dir"_s} << u""_s;
    QTest::newRow("every command's options")
        << u"@LAUNCH_OPTIONS@"_s << 0
        << QStringList{u".BI \\-\\-data\\-dir \" folder\""_s, u".B \\-\\-demo"_s}
        << QStringList{u".SS"_s} << u""_s;
    QTest::newRow("a new scan's columns")
        << u"@COLUMNS@"_s << 0
        << QStringList{u".BR \"App name\" ,"_s,
                       u".B \"%1\""_s.arg(
                           Column::scanFields().value(Column::scanFields().size() - 2)),
                       u"and"_s, u".BR \"%1\" ."_s.arg(Column::scanFields().last())}
        << QStringList{Column::updateAvailable} << u""_s;
    QTest::newRow("no template") << QString() << 1 << QStringList() << QStringList()
                                 << u"The file \u201Cpage.1.in\u201D could not be read: it does "
                                    u"not exist.\n"_s;
    QTest::newRow("a list it does not have")
        << u"@SCANS@"_s << 1 << QStringList() << QStringList()
        << u"The man page template has a line \u201C@SCANS@\u201D that quillet-cli cannot fill "
           u"in.\n"_s;
}

void TestCommandLine::manual()
{
    QFETCH(QString, lines);
    QFETCH(int, status);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);
    QFETCH(QString, err);
    const QString page = m_root->filePath(u"page.1.in"_s);
    if (!lines.isNull())
        writeBytes(page, lines.toUtf8());
    const Result result = run({u"manual"_s, page}, false);
    QCOMPARE(result.err, err);
    QCOMPARE(result.status, status);
    const QStringList written = result.text().split(u'\n');
    for (const QString &line : present)
        QVERIFY2(written.contains(line), qPrintable(line + u"\n---\n"_s + result.text()));
    for (const QString &text : absent)
        QVERIFY2(!result.text().contains(text), qPrintable(text));
}

QTEST_GUILESS_MAIN(TestCommandLine)
void TestCommandLine::controlCharacters_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("show") << QStringList{u"show"_s};
    QTest::newRow("history") << QStringList{u"history"_s};
    QTest::newRow("compare") << QStringList{u"compare"_s, idA, idB};
    QTest::newRow("show as JSON") << QStringList{u"show"_s, u"--json"_s};
}

// Names from a phone never drive the terminal; the data formats keep them exact.
void TestCommandLine::controlCharacters()
{
    QFETCH(QStringList, arguments);
    const QString hostile = u"Evil\x1b]0;owned\a\x1b[2J\u202Eemag"_s;
    Inventory a = scanA();
    a.deviceName = hostile;
    a.rows.append(app(hostile, u"Games"_s, u"com.example.evil"_s, u"1.0"_s, u"1.00"_s));
    Inventory b = scanB();
    b.deviceName = hostile;
    HistoryStore().archive(a);
    HistoryStore().archive(b);
    a.writeFile(data(u"inventory.json"_s));

    const Result result = run(arguments);
    QCOMPARE(result.status, 0);
    if (arguments.contains(u"--json"_s)) {
        QCOMPARE(Inventory::fromJson(result.out, u"standard output"_s).deviceName, hostile);
        return;
    }
    const QString text = result.text();
    QVERIFY2(!text.contains(u'\x1b') && !text.contains(u'\a') && !text.contains(QChar(0x202E)),
             qPrintable(text));
    QVERIFY2(text.contains(u"Evil\uFFFD]0;owned\uFFFD\uFFFD[2J\uFFFDemag"_s), qPrintable(text));
}

// The window's program answers --help and --version without a display, by its plain name.
void TestCommandLine::windowOnTerminal_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    const QString usage = u"Usage: quillet [options]\n"_s;
    QTest::newRow("help") << QStringList{u"--help"_s} << 0 << usage << u""_s;
    QTest::newRow("help after an option")
        << QStringList{u"--demo"_s, u"-h"_s} << 0 << usage << u""_s;
    QTest::newRow("version") << QStringList{u"--version"_s} << 0 << u"quillet 1.0.0\n"_s << u""_s;
    QTest::newRow("version with an unknown option")
        << QStringList{u"--version"_s, u"--bogus"_s} << 2 << u""_s
        << u"quillet: Unknown option 'bogus'.\n"_s;
}

void TestCommandLine::windowOnTerminal()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
        environment.remove(name);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QUILLET_APP), arguments);
    QVERIFY(process.waitForFinished(15000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), status);
    const QString printed = QString::fromUtf8(process.readAllStandardOutput());
    QVERIFY2(out.isEmpty() ? printed.isEmpty() : printed.startsWith(out), qPrintable(printed));
    QCOMPARE(QString::fromUtf8(process.readAllStandardError()), err);
}

#include "tst_commandline.moc"
