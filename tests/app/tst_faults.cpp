// Faults of the machine rather than of the data: a disk that fills up, a volume that turns
// read-only, the program killed mid-scan, and data folders of other versions. The volume is a
// real tmpfs, mounted in a private mount namespace that CTest sets up (see in-namespace.sh).

#include "common/DataFile.h"
#include "common/DataFolderLock.h"
#include "common/Failure.h"
#include "history/HistoryStore.h"
#include "reports/CsvExport.h"
#include "reports/ReportDocument.h"
#include "scanning/Scanner.h"
#include "scanning/StoreLookup.h"
#include "tests/InventoryPrinting.h"
#include "tests/LookupServer.h"
#include "tests/SampleInventory.h"
#include "tests/TestFiles.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <sys/mount.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using namespace TestFiles;

namespace {

const QString device = u"00008110-001A2B3C4D5E801E"_s;
const QString noSpace = u"there is not enough space on the disk"_s;
const QString readOnly = u"the volume is read-only"_s;

enum class Fault { Full, ReadOnly };

// An app list of `count` apps whose inventory takes several pages of the volume. One lookup
// batch holds them all, so a scan never pauses between batches.
QByteArray appList(int count)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><array>";
    for (int i = 0; i < count; ++i) {
        const QByteArray n = QByteArray::number(i);
        xml += "<dict><key>CFBundleIdentifier</key><string>com.example.app" + n +
            "</string><key>CFBundleDisplayName</key><string>App number " + n + ' ' +
            QByteArray(400, 'x') + "</string><key>CFBundleShortVersionString</key><string>1." + n +
            "</string><key>ApplicationType</key><string>User</string>"
            "<key>StaticDiskUsage</key><integer>" +
            QByteArray::number(1000000 + i) + "</integer></dict>";
    }
    return xml + "</array></plist>\n";
}

// Every file under `folder`, by relative path, with its bytes.
// The user's files in the folder. The history's index is left out: a cache that any listing
// may write again.
QMap<QString, QByteArray> contents(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString name = QDir(folder).relativeFilePath(path);
        // A cache and the lock, which hold no data.
        if (name != u"history-index.json" && name != DataFolderLock::fileName())
            files.insert(name, readBytes(path));
    }
    return files;
}

} // namespace

Q_DECLARE_METATYPE(Fault)

class TestFaults : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void scanOnAFullDisk_data();
    void scanOnAFullDisk();
    void volumeTurnsReadOnlyDuringAScan_data();
    void volumeTurnsReadOnlyDuringAScan();
    void exportOnAFaultyVolume_data();
    void exportOnAFaultyVolume();
    void notesOnAFaultyVolume_data();
    void notesOnAFaultyVolume();
    void killedDuringAScan_data();
    void killedDuringAScan();
    void dataFolderOfANewerVersion();
    void dataFolderOfAnEarlierRelease_data();
    void dataFolderOfAnEarlierRelease();

private:
    QString storage() const { return m_volume + u"/Quillet"_s; }
    void tool(const QString &name, const QByteArray &output);
    std::unique_ptr<Scanner> scanner(std::function<void(const QString &)> progress = {});
    void fill(qint64 leaveFree);
    void fault(Fault fault);
    void clearFault();
    // What the next start shows must agree with the history, whatever happened before.
    void checkConsistent(const QString &where);

    QTemporaryDir m_root;
    QString m_volume;
    bool m_mounted = false;
    std::unique_ptr<LookupServer> m_server;
};

void TestFaults::initTestCase()
{
    QVERIFY(m_root.isValid());
    m_volume = m_root.filePath(u"volume"_s);
    QVERIFY(QDir().mkpath(m_volume));
    // A small real filesystem of our own; outside a private mount namespace there is none.
    if (::mount("tmpfs", QFile::encodeName(m_volume).constData(), "tmpfs", 0, "size=1m") != 0) {
        if (qEnvironmentVariableIsSet("QUILLET_PRIVATE_MOUNTS"))
            QFAIL(
                qPrintable(u"Cannot mount a tmpfs: "_s + QString::fromLocal8Bit(strerror(errno))));
        QSKIP("needs a private mount namespace: run it through CTest");
    }
    m_mounted = true;
    m_server = std::make_unique<LookupServer>(
        LookupServer::knownApps({{u"com.example.app1"_s, u"Games"_s}}));
    tool(u"idevice_id"_s, device.toUtf8() + '\n');
    tool(u"idevicename"_s, "Anna's iPhone\n");
    tool(u"ideviceinstaller"_s, appList(20));
}

void TestFaults::cleanupTestCase()
{
    if (m_mounted)
        ::umount(QFile::encodeName(m_volume).constData());
}

void TestFaults::init()
{
    if (!m_mounted)
        QSKIP("no volume");
    QDir(m_volume).removeRecursively();
    QVERIFY(QDir().mkpath(storage()));
}

void TestFaults::cleanup()
{
    clearFault();
}

void TestFaults::tool(const QString &name, const QByteArray &output)
{
    const QString base = m_root.filePath(u"Tools/"_s + name);
    writeBytes(base + u".out"_s, output);
    writeBytes(base, "#!/bin/sh\ncat '" + QFile::encodeName(base) + ".out'\n");
    QFile(base).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

std::unique_ptr<Scanner> TestFaults::scanner(std::function<void(const QString &)> progress)
{
    auto scanner = std::make_unique<Scanner>(m_root.path(), storage());
    scanner->storeLookup().setURL(m_server->url());
    scanner->storeLookup().setSlice(10ms);
    if (progress)
        scanner->setProgress(std::move(progress));
    return scanner;
}

void TestFaults::fill(qint64 leaveFree)
{
    const qint64 available = QStorageInfo(m_volume).bytesAvailable();
    QFile filler(m_volume + u"/filler"_s);
    QVERIFY(filler.open(QIODevice::WriteOnly));
    QVERIFY(filler.resize(std::max<qint64>(0, available - leaveFree)));
    // tmpfs counts pages as they are written, not as the size is set.
    const QByteArray block(64 * 1024, 'x');
    for (qint64 left = filler.size(); left > 0; left -= block.size())
        filler.write(block.constData(), std::min<qint64>(left, block.size()));
    filler.close();
}

void TestFaults::fault(Fault fault)
{
    if (fault == Fault::Full) {
        fill(0);
        return;
    }
    QCOMPARE(::mount(nullptr, QFile::encodeName(m_volume).constData(), nullptr,
                     MS_REMOUNT | MS_RDONLY, nullptr),
             0);
}

void TestFaults::clearFault()
{
    if (!m_mounted)
        return;
    ::mount(nullptr, QFile::encodeName(m_volume).constData(), nullptr, MS_REMOUNT, "size=1m");
    QFile::remove(m_volume + u"/filler"_s);
}

void TestFaults::checkConsistent(const QString &where)
{
    const HistoryStore history(storage());
    const HistoryStore::Listing listing = history.list();
    QVERIFY2(listing.unreadable.size() == 0, qPrintable(where));
    Inventory shown;
    try {
        shown = Scanner(m_root.path(), storage()).load();
    } catch (const Failure &error) {
        QFAIL(qPrintable(where + u": "_s + error.description()));
    }
    if (shown.rows.isEmpty())
        return;
    QVERIFY2(shown.scanID, qPrintable(where));
    QVERIFY2(std::any_of(listing.scans.begin(), listing.scans.end(),
                         [&](const SavedScan &scan) { return scan.id == shown.scanID; }),
             qPrintable(where + u": the inventory shown is not in the history"_s));
    // Nothing half-written stands under a name of ours. A killed write may leave its temporary
    // file ("name.json.XXXXXX"), which nothing reads.
    static const QRegularExpression temporary(u"\\.json\\.[A-Za-z0-9]{6}$"_s);
    const QStringList files = contents(storage()).keys();
    for (const QString &file : files) {
        const bool known = file == u"inventory.json" || file == u"categories.json" ||
            (file.startsWith(u"History/") && file.endsWith(u".json")) || file.contains(temporary);
        QVERIFY2(known, qPrintable(where + u": unexpected file: "_s + file));
    }
}

void TestFaults::scanOnAFullDisk_data()
{
    // Free space left before the second scan, in inventories' worth: the cache, the archive
    // and "inventory.json" are written in that order, so each of them meets a full disk.
    QTest::addColumn<double>("inventories");
    QTest::addColumn<bool>("cacheFresh");
    QTest::newRow("nothing free") << 0.0 << true;
    QTest::newRow("nothing free, cache due") << 0.0 << false;
    QTest::newRow("half an inventory") << 0.5 << true;
    QTest::newRow("room for the archive only") << 1.3 << true;
    QTest::newRow("room for the cache and the archive only") << 1.3 << false;
    QTest::newRow("room for both") << 3.0 << true;
}

void TestFaults::scanOnAFullDisk()
{
    QFETCH(double, inventories);
    QFETCH(bool, cacheFresh);
    const Inventory first = scanner()->scan();
    const QString cache = storage() + u"/categories.json"_s;
    if (!cacheFresh)
        QVERIFY(QFile::remove(cache));
    const QMap<QString, QByteArray> before = contents(storage());
    const qint64 size = QFileInfo(storage() + u"/inventory.json"_s).size();

    fill(qint64(inventories * double(size)));
    std::optional<Inventory> second;
    try {
        second = scanner()->scan();
    } catch (const Failure &error) {
        QVERIFY2(error.description().contains(noSpace), qPrintable(error.description()));
    }
    const QMap<QString, QByteArray> after = contents(storage());
    if (second) {
        try {
            QCOMPARE(Inventory::readFile(storage() + u"/inventory.json"_s), *second);
        } catch (const Failure &error) {
            QFAIL(qPrintable(u"A scan reported as saved left this: "_s + error.description()));
        }
    } else {
        // The previous inventory and every earlier scan are whole; a new archive may be there.
        QCOMPARE(after.value(u"inventory.json"_s), before.value(u"inventory.json"_s));
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QCOMPARE(after.value(it.key()), it.value());
    }
    checkConsistent(u"after the full disk"_s);

    // Once there is room again, the next scan works and is shown.
    clearFault();
    const Inventory third = scanner()->scan();
    QCOMPARE(Scanner(m_root.path(), storage()).load().scanID, third.scanID);
    QVERIFY(HistoryStore(storage()).list().scans.size() >= 2);
    QVERIFY(first.scanID != third.scanID);
    checkConsistent(u"after the next scan"_s);
}

void TestFaults::volumeTurnsReadOnlyDuringAScan_data()
{
    QTest::addColumn<QString>("moment");
    QTest::newRow("finding the device") << u"Finding connected devices"_s;
    QTest::newRow("reading the apps") << u"Reading installed apps"_s;
    QTest::newRow("looking up categories") << u"Looking up categories"_s;
}

void TestFaults::volumeTurnsReadOnlyDuringAScan()
{
    QFETCH(QString, moment);
    scanner()->scan();
    // Due again, so that the cache is written too.
    QVERIFY(QFile::remove(storage() + u"/categories.json"_s));
    const QMap<QString, QByteArray> before = contents(storage());

    bool faulted = false;
    try {
        scanner([&](const QString &message) {
            if (!faulted && message.startsWith(moment)) {
                faulted = true;
                fault(Fault::ReadOnly);
            }
        })->scan();
        QFAIL("saved on a read-only volume");
    } catch (const Failure &error) {
        QVERIFY(faulted);
        QVERIFY2(error.description().contains(readOnly), qPrintable(error.description()));
    }
    QCOMPARE(contents(storage()), before);

    clearFault();
    const Inventory next = scanner()->scan();
    QCOMPARE(Scanner(m_root.path(), storage()).load().scanID, next.scanID);
    QCOMPARE(HistoryStore(storage()).list().scans.size(), 2);
    checkConsistent(u"after the next scan"_s);
}

void TestFaults::exportOnAFaultyVolume_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("message");
    QTest::newRow("CSV, full disk") << Fault::Full << u"csv"_s << noSpace;
    QTest::newRow("CSV, read-only") << Fault::ReadOnly << u"csv"_s << readOnly;
    QTest::newRow("PDF, full disk") << Fault::Full << u"pdf"_s << noSpace;
    QTest::newRow("PDF, read-only") << Fault::ReadOnly << u"pdf"_s << readOnly;
}

void TestFaults::exportOnAFaultyVolume()
{
    QFETCH(Fault, fault);
    QFETCH(QString, format);
    QFETCH(QString, message);
    Inventory inventory = SampleInventory::library();
    for (int i = 0; i < 300; ++i)
        inventory.rows.append(inventory.rows.first());
    const QString path = storage() + u"/apps."_s + format;
    const auto save = [&] {
        if (format == u"csv")
            DataFile::write(path, CsvExport::content(inventory.fields, inventory.rows));
        else
            ReportDocument::inventory(inventory, inventory.rows, QString()).write(path);
    };
    // An earlier export of the same name, which the user chose to replace.
    const QByteArray earlier = "an earlier export";
    writeBytes(path, earlier);

    this->fault(fault);
    try {
        save();
        QFAIL("exported onto a faulty volume");
    } catch (const Failure &error) {
        QVERIFY2(error.description().contains(message), qPrintable(error.description()));
        QVERIFY2(error.description().contains(QFileInfo(path).fileName()),
                 qPrintable(error.description()));
    }
    QCOMPARE(readBytes(path), earlier);
    QCOMPARE(contents(storage()).keys(), QStringList{QFileInfo(path).fileName()});

    clearFault();
    save();
    QVERIFY(readBytes(path).size() > earlier.size());
}

void TestFaults::notesOnAFaultyVolume_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("message");
    // Short notes are written in one small piece, long ones in a large one.
    QTest::newRow("full disk, short notes") << Fault::Full << 20 << noSpace;
    QTest::newRow("full disk, long notes") << Fault::Full << 20000 << noSpace;
    QTest::newRow("read-only") << Fault::ReadOnly << 20 << readOnly;
}

void TestFaults::notesOnAFaultyVolume()
{
    QFETCH(Fault, fault);
    QFETCH(int, length);
    QFETCH(QString, message);
    const HistoryStore history(storage());
    const Inventory first = scanner()->scan();
    const Inventory second = scanner()->scan();
    const QString notes = QString(length, u'n');
    history.saveAnnotation(*first.scanID, u"Before the update"_s, notes);
    const QByteArray saved = readBytes(history.notesPath());

    this->fault(fault);
    try {
        history.saveAnnotation(*second.scanID, u"After the update"_s, notes);
        QFAIL("notes saved onto a faulty volume");
    } catch (const Failure &error) {
        QVERIFY2(error.description().contains(message), qPrintable(error.description()));
        QVERIFY2(error.description().contains(u"snapshot-notes.json"),
                 qPrintable(error.description()));
    }
    QCOMPARE(readBytes(history.notesPath()), saved);

    clearFault();
    history.saveAnnotation(*second.scanID, u"After the update"_s, notes);
    const QList<SavedScan> scans = history.list().scans;
    QCOMPARE(scans.size(), 2);
    for (const SavedScan &scan : scans)
        QVERIFY(scan.inventory.snapshotName);
}

void TestFaults::killedDuringAScan_data()
{
    // The moments around each file a scan saves, in the order it saves them.
    QTest::addColumn<QString>("point");
    QTest::addColumn<bool>("newScanShown");
    QTest::newRow("before the cache") << u"before:*/categories.json"_s << false;
    QTest::newRow("after the cache") << u"after:*/categories.json"_s << false;
    QTest::newRow("before the archive") << u"before:*/History/*.json"_s << false;
    QTest::newRow("after the archive, before the inventory")
        << u"after:*/History/*.json"_s << false;
    QTest::newRow("before the inventory") << u"before:*/inventory.json"_s << false;
    QTest::newRow("after the inventory") << u"after:*/inventory.json"_s << true;
}

void TestFaults::killedDuringAScan()
{
    QFETCH(QString, point);
    QFETCH(bool, newScanShown);
    const Inventory first = scanner()->scan();
    QVERIFY(QFile::remove(storage() + u"/categories.json"_s));

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"HOME"_s, m_root.path());
    environment.insert(u"LD_PRELOAD"_s, QStringLiteral(QUILLET_KILL_POINT));
    environment.insert(u"QUILLET_KILL_POINT"_s, point);
    // A sanitizer build loads its runtime first; the preload may come before it.
    environment.insert(u"ASAN_OPTIONS"_s, u"verify_asan_link_order=0:detect_leaks=0"_s);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QUILLET_CLI),
                  {u"scan"_s, u"--data-dir"_s, storage(), u"--resources"_s, m_root.path(),
                   u"--lookup-url"_s, m_server->url().toString()});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::CrashExit);

    checkConsistent(u"after the kill"_s);
    const Inventory shown = Scanner(m_root.path(), storage()).load();
    QCOMPARE(shown.scanID != first.scanID, newScanShown);

    const Inventory next = scanner()->scan();
    QCOMPARE(Scanner(m_root.path(), storage()).load().scanID, next.scanID);
    checkConsistent(u"after the next scan"_s);
}

void TestFaults::dataFolderOfANewerVersion()
{
    // Every file as a newer Quillet might write it: keys this version has never heard of.
    const QString id = u"1F3A2B4C-0D5E-4F60-8A71-92B3C4D5E6F7"_s;
    QJsonObject inventory = QJsonDocument::fromJson(SampleInventory::library().toJson()).object();
    inventory.insert(u"scanID"_s, id);
    inventory.insert(u"scannedAt"_s, 786450000.5);
    inventory.insert(u"formatVersion"_s, 7);
    inventory.insert(u"battery"_s, QJsonObject{{u"level"_s, 0.8}});
    QJsonArray rows = inventory.value(u"rows"_s).toArray();
    QJsonObject row = rows.first().toObject();
    row.insert(u"Privacy labels"_s, u"None"_s);
    rows.replace(0, row);
    inventory.insert(u"rows"_s, rows);
    const QByteArray inventoryJson = QJsonDocument(inventory).toJson();
    writeBytes(storage() + u"/inventory.json"_s, inventoryJson);
    writeBytes(storage() + u"/History/"_s + id + u".json"_s, inventoryJson);
    writeBytes(storage() + u"/snapshot-notes.json"_s,
               QJsonDocument(QJsonObject{{id,
                                          QJsonObject{{u"name"_s, u"Before"_s},
                                                      {u"notes"_s, u"Work phone"_s},
                                                      {u"colour"_s, u"red"_s}}}})
                   .toJson());
    const double now = double(QDateTime::currentSecsSinceEpoch());
    writeBytes(storage() + u"/categories.json"_s,
               QJsonDocument(QJsonObject{{u"com.example.notes"_s,
                                          QJsonObject{{u"category"_s, u"Productivity"_s},
                                                      {u"checked"_s, now},
                                                      {u"metadataRevision"_s, 1},
                                                      {u"rating"_s, 4.5}}}})
                   .toJson());
    writeBytes(storage() + u"/Widgets/state.json"_s, "{}");
    const QMap<QString, QByteArray> before = contents(storage());

    const Inventory shown = Scanner(m_root.path(), storage()).load();
    QCOMPARE(shown.scanID, id);
    QCOMPARE(shown.snapshotName, u"Before"_s);
    QCOMPARE(shown.rows.first().value(u"Privacy labels"), u"None"_s);
    const HistoryStore::Listing listing = HistoryStore(storage()).list();
    QCOMPARE(listing.unreadable.size(), 0);
    QCOMPARE(listing.scans.size(), 1);
    QCOMPARE(listing.scans.first().inventory.snapshotNotes, u"Work phone"_s);
    StoreLookup lookup(storage());
    lookup.setURL(m_server->url());
    const int requests = int(m_server->requestLines().size());
    QCOMPARE(lookup.categories({u"com.example.notes"_s}).value(u"com.example.notes"_s),
             u"Productivity"_s);
    QCOMPARE(m_server->requestLines().size(), requests);
    // Reading changed nothing.
    QCOMPARE(contents(storage()), before);
}

void TestFaults::dataFolderOfAnEarlierRelease_data()
{
    QTest::addColumn<bool>("csvOnly");
    QTest::newRow("inventory without identity") << false;
    QTest::newRow("only the old CSV exports") << true;
}

void TestFaults::dataFolderOfAnEarlierRelease()
{
    QFETCH(bool, csvOnly);
    Inventory earlier = SampleInventory::library();
    if (csvOnly) {
        const QString exports = m_volume + u"/Tallyfold/exports/"_s;
        writeBytes(exports + u"phone-03-01-2024.csv"_s,
                   CsvExport::content(earlier.fields, earlier.rows.mid(0, 1)));
        writeBytes(exports + u"phone-03-05-2024.csv"_s,
                   CsvExport::content(earlier.fields, earlier.rows));
        QFile older(exports + u"phone-03-01-2024.csv"_s);
        QVERIFY(older.open(QIODevice::ReadWrite));
        QVERIFY(older.setFileTime(utc("2024-03-01T10:00:00"), QFileDevice::FileModificationTime));
    } else {
        earlier.writeFile(storage() + u"/inventory.json"_s);
    }

    const Inventory migrated = Scanner(m_root.path(), storage()).load();
    QVERIFY(migrated.scanID);
    QCOMPARE(migrated.namedRows().size(), earlier.namedRows().size());
    const QMap<QString, QByteArray> once = contents(storage());
    QCOMPARE(HistoryStore(storage()).list().scans.size(), 1);

    // Later starts find it migrated and leave every file as it is.
    for (int start = 0; start < 2; ++start) {
        QCOMPARE(Scanner(m_root.path(), storage()).load().scanID, migrated.scanID);
        QCOMPARE(contents(storage()), once);
    }
    checkConsistent(u"after migrating"_s);
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
