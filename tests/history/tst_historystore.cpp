#include "common/DataFile.h"
#include "common/PlatformError.h"
#include "history/HistoryIndex.h"
#include "history/HistoryStore.h"
#include "history/SnapshotAnnotation.h"
#include "scanning/Column.h"
#include "scanning/ScanError.h"
#include "scanning/Scanner.h"
#include "tests/InventoryPrinting.h"
#include "tests/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace TestFiles;

using OptionalText = std::optional<QString>;
using OptionalDate = std::optional<QDateTime>;

namespace {

const QString idA = u"AAAAAAAA-0000-4000-8000-000000000001"_s;
const QString idB = u"BBBBBBBB-0000-4000-8000-000000000002"_s;
const QString idC = u"CCCCCCCC-0000-4000-8000-000000000003"_s;
const QString idD = u"DDDDDDDD-0000-4000-8000-000000000004"_s;
constexpr int archivedByWriter = 60;

Inventory scan(const QString &id, OptionalDate date = std::nullopt, const QString &app = u"Maps"_s)
{
    Inventory inventory;
    inventory.rows = {{{Column::appName, app}}};
    inventory.scanID = id;
    inventory.scannedAt = date;
    inventory.deviceName = u"Ann's iPhone"_s;
    return inventory;
}

int permissions(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777)
                                                                    : -1;
}

QStringList ids(const HistoryStore::Listing &listing)
{
    QStringList result;
    for (const SavedScan &saved : listing.scans)
        result.append(saved.id);
    return result;
}

} // namespace

class TestHistoryStore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void listWithoutHistoryCreatesNothing();
    void listCountsAndKeepsUnusableFiles();
    void listOrdersNewestFirst();
    void listAppliesAnnotations();
    void damagedNotesHideOnlyThemselves();
    void indexFollowsTheArchives_data();
    void indexFollowsTheArchives();
    void indexKeepsWhatFits();
    void listingWhileScansAreSaved();
    void archiveKeepsTheFirstFile();
    void savesReplacePlantedLinks_data();
    void savesReplacePlantedLinks();
    void archiveRefusesInvalidIdentity_data();
    void archiveRefusesInvalidIdentity();
    void migrateGivesIdentityOnce();
    void migrateLeavesOthersAlone_data();
    void migrateLeavesOthersAlone();
    void annotationName_data();
    void annotationName();
    void annotationKeepsEmptyEntriesAndLastValues();
    void refusedBeforeAnythingIsWritten_data();
    void refusedBeforeAnythingIsWritten();
    void annotationNeedsAnArchive_data();
    void annotationNeedsAnArchive();
    void annotationNeverOverwritesDamagedNotes_data();
    void annotationNeverOverwritesDamagedNotes();
    void applyingWithoutIdentityReadsNothing();
    void title_data();
    void title();

private:
    std::unique_ptr<QTemporaryDir> m_root;
    QString m_storage;
};

void TestHistoryStore::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    m_storage = m_root->filePath(u"Quillet"_s);
}

void TestHistoryStore::listWithoutHistoryCreatesNothing()
{
    const HistoryStore::Listing listing = HistoryStore(m_storage).list();
    QVERIFY(listing.scans.isEmpty());
    QCOMPARE(listing.unreadable.size(), 0);
    QVERIFY(!QFileInfo::exists(m_storage));
}

void TestHistoryStore::listCountsAndKeepsUnusableFiles()
{
    const HistoryStore store(m_storage);
    store.archive(scan(idA));
    const QString history = store.directory();
    const QList<std::pair<QString, QByteArray>> others = {
        {u"a.txt"_s, "not history"},
        {u"b.JSON"_s, "{}"},
        {u"empty-object.json"_s, "{}"},
        {u"truncated.json"_s, R"({"fields":[],"rows":[)"},
        {u"no-identity.json"_s, R"({"fields":[],"rows":[]})"},
        {u"bad-identity.json"_s, R"({"fields":[],"rows":[],"scanID":"not-a-uuid"})"},
        {u".hidden.json"_s, "garbage"},
    };
    for (const auto &[name, content] : others)
        writeBytes(history + u'/' + name, content);
    QDir(history).mkdir(u"folder.json"_s);

    const HistoryStore::Listing listing = store.list();
    QCOMPARE(ids(listing), QStringList{idA});
    QCOMPARE(listing.unreadable.size(), 6);
    QCOMPARE(listing.unreadableText(),
             u"6 saved scans could not be read: \u201C.hidden.json\u201D, "
             u"\u201Cbad-identity.json\u201D, "
             "\u201Cempty-object.json\u201D and 3 more. Their files have been preserved."_s);
    for (const auto &[name, content] : others)
        QCOMPARE(readBytes(history + u'/' + name), content);
}

void TestHistoryStore::listOrdersNewestFirst()
{
    const HistoryStore store(m_storage);
    store.archive(scan(idA, utc("2024-01-02T10:00:00")));
    store.archive(scan(idB));
    store.archive(scan(idC, utc("2024-03-04T10:00:00")));
    store.archive(scan(idD, utc("2024-01-02T10:00:00")));
    // The same identity under a second file name is listed twice, not merged.
    QFile::copy(store.directory() + u'/' + idB + u".json"_s, store.directory() + u"/copy.json"_s);

    const HistoryStore::Listing listing = store.list();
    QCOMPARE(ids(listing), (QStringList{idC, idD, idA, idB, idB}));
    QCOMPARE(listing.unreadable.size(), 0);
    // The listing holds each scan without its rows, which are read when asked for.
    QVERIFY(listing.scans[0].inventory.rows.isEmpty());
    QCOMPARE(listing.scans[0].appCount, 1);
    QCOMPARE(store.inventory(listing.scans[0]), scan(idC, utc("2024-03-04T10:00:00")));
}

void TestHistoryStore::listAppliesAnnotations()
{
    const HistoryStore store(m_storage);
    Inventory named = scan(idA);
    named.snapshotName = u"stored name"_s;
    store.archive(named);
    store.archive(scan(idB));
    store.saveAnnotation(idB, u"Before iOS update"_s, u"Phone from work"_s);
    store.saveAnnotation(idA, u""_s, u""_s);

    const HistoryStore::Listing listing = store.list();
    QCOMPARE(listing.scans.size(), 2);
    for (const SavedScan &saved : listing.scans) {
        const bool isB = saved.id == idB;
        QCOMPARE(saved.inventory.snapshotName, OptionalText(isB ? u"Before iOS update"_s : u""_s));
        QCOMPARE(saved.inventory.snapshotNotes, OptionalText(isB ? u"Phone from work"_s : u""_s));
    }
}

// Damaged names and notes hide only themselves: the scans are listed and shown without them.
void TestHistoryStore::damagedNotesHideOnlyThemselves()
{
    const HistoryStore store(m_storage);
    store.archive(scan(idA));
    writeBytes(store.notesPath(), "[]");
    const HistoryStore::Listing listing = store.list();
    QCOMPARE(ids(listing), QStringList{idA});
    QVERIFY2(listing.notesProblem.contains(u"\u201Csnapshot-notes.json\u201D"_s),
             qPrintable(listing.notesProblem));
    QCOMPARE(store.inventory(listing.scans[0]), scan(idA));
    QCOMPARE(store.migrateLatest(scan(idA)), scan(idA));
    QCOMPARE(readBytes(store.notesPath()), QByteArray("[]"));
}

void TestHistoryStore::indexFollowsTheArchives_data()
{
    QTest::addColumn<QString>("change");
    for (const char *change :
         {"archive added", "archive replaced", "archive removed", "archive damaged",
          "archive readable again", "index damaged", "index of another version", "index trusted"})
        QTest::newRow(change) << QString::fromLatin1(change);
}

// Whatever happened to the archives or the index, a listing says what the archives say.
void TestHistoryStore::indexFollowsTheArchives()
{
    QFETCH(QString, change);
    const HistoryStore store(m_storage);
    store.archive(scan(idA, utc("2024-01-02T10:00:00")));
    store.archive(scan(idB, utc("2024-02-02T10:00:00")));
    QCOMPARE(store.list().scans.size(), 2);
    const QString fileA = store.directory() + u'/' + idA + u".json"_s;
    const QString fileB = store.directory() + u'/' + idB + u".json"_s;
    if (change == u"archive added")
        store.archive(scan(idC, utc("2024-03-02T10:00:00")));
    if (change == u"archive replaced")
        writeBytes(fileA, scan(idA, utc("2024-01-02T10:00:00"), u"Another app"_s).toJson());
    if (change == u"archive removed")
        QVERIFY(QFile::remove(fileB));
    if (change == u"archive damaged")
        writeBytes(fileB, "{");
    if (change == u"archive readable again") {
        // Unreadable at one listing, then whole again with the same size and time: read
        // again, not remembered as unreadable.
        const QByteArray whole = readBytes(fileB);
        const QDateTime modified = QFileInfo(fileB).lastModified().addSecs(3600);
        auto put = [&](const QByteArray &bytes) {
            writeBytes(fileB, bytes);
            QFile file(fileB);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
        };
        put(QByteArray(whole.size(), ' '));
        QCOMPARE(store.list().unreadable.size(), 1);
        put(whole);
    }
    if (change == u"index damaged")
        writeBytes(store.indexPath(), "[");
    if (change == u"index of another version")
        writeBytes(store.indexPath(),
                   readBytes(store.indexPath()).replace("\"version\":1", "\"version\":0"));
    if (change == u"index trusted") {
        // An archive whose size and time are unchanged is not read again.
        writeBytes(store.indexPath(),
                   readBytes(store.indexPath()).replace("Ann's iPhone", "From the index"));
        QCOMPARE(store.list().scans[0].inventory.deviceName, u"From the index"_s);
        return;
    }

    const HistoryStore::Listing listing = store.list();
    const QByteArray index = readBytes(store.indexPath());
    QVERIFY(QFile::remove(store.indexPath()));
    const HistoryStore::Listing fresh = store.list();
    QCOMPARE(listing.scans, fresh.scans);
    QCOMPARE(listing.unreadable.size(), fresh.unreadable.size());
    QCOMPARE(listing.unreadable.size(), change == u"archive damaged" ? 1 : 0);
    // The index names exactly the archives there are now.
    QCOMPARE(HistoryIndex::decode(index).size(),
             QDir(store.directory()).entryList({u"*.json"_s}, QDir::Files).size());
    QCOMPARE(readBytes(fileB).isEmpty(), change == u"archive removed");
}

// An index that would pass what its reader accepts keeps the entries that fit, in name order.
void TestHistoryStore::indexKeepsWhatFits()
{
    const HistoryStore store(m_storage);
    for (const QString &id : {idA, idB, idC})
        store.archive(scan(id, utc("2024-01-02T10:00:00")));
    QCOMPARE(store.list().scans.size(), 3);
    const QByteArray written = readBytes(store.indexPath());
    const HistoryIndex::Map all = HistoryIndex::decode(written);
    QCOMPARE(all.size(), 3);
    QCOMPARE(HistoryIndex::fitting(all).second, written);

    const auto [kept, file] = HistoryIndex::fitting(all, written.size() - 1);
    QVERIFY(file.size() < written.size());
    QCOMPARE(HistoryIndex::decode(file), kept);
    QStringList names = kept.keys();
    names.sort();
    QStringList first = all.keys();
    first.sort();
    QCOMPARE(names, first.mid(0, 2));
}

// Another process saving scans while this one lists: every listing sees whole archives only.
void TestHistoryStore::listingWhileScansAreSaved()
{
    const HistoryStore store(m_storage);
    store.archive(scan(idA));
    QProcess writer;
    writer.start(QCoreApplication::applicationFilePath(), {u"--archive-many"_s, m_storage});
    QVERIFY(writer.waitForStarted());
    int lists = 0;
    while (writer.state() != QProcess::NotRunning || lists == 0) {
        const HistoryStore::Listing listing = store.list();
        QCOMPARE(listing.unreadable.size(), 0);
        ++lists;
        writer.waitForFinished(5);
    }
    QCOMPARE(writer.exitCode(), 0);
    QCOMPARE(store.list().scans.size(), 1 + archivedByWriter);
    QCOMPARE(store.list().unreadable.size(), 0);
}

void TestHistoryStore::archiveKeepsTheFirstFile()
{
    const HistoryStore store(m_storage);
    store.archive(scan(idA, std::nullopt, u"First"_s));
    const QByteArray first = readBytes(store.directory() + u'/' + idA + u".json"_s);
    store.archive(scan(idA, std::nullopt, u"Second"_s));
    QCOMPARE(readBytes(store.directory() + u'/' + idA + u".json"_s), first);
    QCOMPARE(store.inventory(store.list().scans[0]).rows[0].value(Column::appName), u"First"_s);
}

void TestHistoryStore::savesReplacePlantedLinks_data()
{
    QTest::addColumn<bool>("targetExists");
    QTest::newRow("link to a file elsewhere") << true;
    QTest::newRow("link leading nowhere") << false;
}

// A save replaces the link standing at its name and never writes where it points; what it
// writes is its owner's alone.
void TestHistoryStore::savesReplacePlantedLinks()
{
    QFETCH(bool, targetExists);
    const QString elsewhere = m_root->filePath(u"elsewhere.json"_s);
    if (targetExists)
        writeBytes(elsewhere, "theirs");
    const QString inventory = m_storage + u"/inventory.json"_s;
    QVERIFY(QDir().mkpath(m_storage));
    QVERIFY(QFile::link(elsewhere, inventory));

    Inventory old = scan(idA);
    old.scanID.reset();
    const HistoryStore store(m_storage);
    const Inventory migrated = store.migrateLatest(old);

    QCOMPARE(readBytes(elsewhere), targetExists ? QByteArray("theirs") : QByteArray());
    QCOMPARE(QFileInfo::exists(elsewhere), targetExists);
    // Read without following links: the name itself holds the inventory now.
    QCOMPARE(Inventory::readFile(inventory).scanID, migrated.scanID);
    const QString archive = store.directory() + u'/' + *migrated.scanID + u".json"_s;
    QCOMPARE(permissions(inventory), 0600);
    QCOMPARE(permissions(archive), 0600);
    QCOMPARE(permissions(store.directory()), 0700);
}

void TestHistoryStore::archiveRefusesInvalidIdentity_data()
{
    QTest::addColumn<OptionalText>("scanID");
    QTest::newRow("absent") << OptionalText();
    QTest::newRow("short") << OptionalText(u"abc"_s);
    QTest::newRow("braces") << OptionalText(u"{"_s + idA + u"}"_s);
    QTest::newRow("path separator") << OptionalText(u"../../AAAAAAAA-0000-4000-8000-0000000"_s);
    QTest::newRow("no hyphens") << OptionalText(u"AAAAAAAA000040008000000000000001AAAA"_s);
}

void TestHistoryStore::archiveRefusesInvalidIdentity()
{
    QFETCH(OptionalText, scanID);
    Inventory inventory = scan(idA);
    inventory.scanID = scanID;
    try {
        HistoryStore(m_storage).archive(inventory);
        QFAIL("archived");
    } catch (const ScanError &error) {
        QCOMPARE(error.description(), u"The scan has no valid history identifier."_s);
    }
    QVERIFY(!QFileInfo::exists(m_storage));
}

void TestHistoryStore::migrateGivesIdentityOnce()
{
    const HistoryStore store(m_storage);
    Inventory old = scan(idA);
    old.scanID.reset();
    const Inventory migrated = store.migrateLatest(old);
    QVERIFY(migrated.scanID && HistoryStore::isValidIdentity(*migrated.scanID));
    QCOMPARE(*migrated.scanID, migrated.scanID->toUpper());
    Inventory expected = migrated;
    expected.scanID.reset();
    QCOMPARE(expected, old);
    QCOMPARE(Inventory::readFile(m_storage + u"/inventory.json"_s), migrated);
    QCOMPARE(ids(store.list()), QStringList{*migrated.scanID});

    const QByteArray written = readBytes(m_storage + u"/inventory.json"_s);
    QCOMPARE(store.migrateLatest(migrated), migrated);
    QCOMPARE(readBytes(m_storage + u"/inventory.json"_s), written);
    QCOMPARE(store.list().scans.size(), 1);
}

void TestHistoryStore::migrateLeavesOthersAlone_data()
{
    QTest::addColumn<Inventory>("inventory");
    QTest::addColumn<OptionalText>("expectedName");
    Inventory empty;
    QTest::newRow("no rows, no identity") << empty << OptionalText();
    Inventory invalid = scan(u"not-a-uuid"_s);
    QTest::newRow("invalid identity is kept") << invalid << OptionalText();
    QTest::newRow("annotated") << scan(idA) << OptionalText(u"Named"_s);
}

void TestHistoryStore::migrateLeavesOthersAlone()
{
    QFETCH(Inventory, inventory);
    QFETCH(OptionalText, expectedName);
    const HistoryStore store(m_storage);
    SnapshotAnnotation::Map notes{{idA, {u"Named"_s, u"n"_s}}};
    QDir().mkpath(m_storage);
    SnapshotAnnotation::writeMap(store.notesPath(), notes);

    const Inventory result = store.migrateLatest(inventory);
    QCOMPARE(result.scanID, inventory.scanID);
    QCOMPARE(result.snapshotName, expectedName);
    QCOMPARE(QDir(m_storage).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{u"snapshot-notes.json"_s});
}

void TestHistoryStore::annotationName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("stored");
    QTest::newRow("line feed") << u"  Before\nupdate  "_s << u"Before update"_s;
    QTest::newRow("CR LF is two breaks") << u"a\r\nb"_s << u"a  b"_s;
    QTest::newRow("unicode breaks") << u"a\u2028b\u2029c\u0085d\u000Be"_s << u"a b c d e"_s;
    QTest::newRow("only spaces") << u"   "_s << u""_s;
    QTest::newRow("trailing break") << u"Name\n"_s << u"Name"_s;
}

void TestHistoryStore::annotationName()
{
    QFETCH(QString, name);
    QFETCH(QString, stored);
    const HistoryStore store(m_storage);
    store.archive(scan(idA, utc("2025-03-04T10:15:00")));
    const QString notes = u"  line one\r\nline two  "_s;
    store.saveAnnotation(idA, name, notes);

    const QJsonObject file = QJsonDocument::fromJson(readBytes(store.notesPath())).object();
    QCOMPARE(file.keys(), QStringList{idA});
    QCOMPARE(file.value(idA).toObject().value("name"_L1).toString(), stored);
    QCOMPARE(file.value(idA).toObject().value("notes"_L1).toString(), notes);
    const SavedScan saved = store.list().scans.at(0);
    QCOMPARE(saved.title().startsWith(u"Ann's iPhone"_s), stored.isEmpty());
}

void TestHistoryStore::annotationKeepsEmptyEntriesAndLastValues()
{
    const HistoryStore store(m_storage);
    store.archive(scan(idA));
    store.archive(scan(idB));
    store.saveAnnotation(idA, u"first"_s, u"one"_s);
    store.saveAnnotation(idB, u""_s, u""_s);
    store.saveAnnotation(idA, u"second"_s, u"two"_s);
    const SnapshotAnnotation::Map map = SnapshotAnnotation::readMap(store.notesPath());
    QCOMPARE(map, (SnapshotAnnotation::Map{{idA, {u"second"_s, u"two"_s}}, {idB, {u""_s, u""_s}}}));
}

void TestHistoryStore::refusedBeforeAnythingIsWritten_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("message");
    QTest::newRow("one note too long")
        << u"note"_s
        << u"The name and notes are too long to save: together they may take up to 1 MB. "
           "Shorten the notes and save again."_s;
    QTest::newRow("an import too large")
        << u"import"_s
        << u"The export \u201Cwide.csv\u201D of an earlier release is too large to import: its "
           "inventory would be larger than 50 MB, more than Quillet reads back. Nothing was "
           "imported."_s;
    QTest::newRow("a file too large")
        << u"file"_s
        << u"The file \u201Cinventory.json\u201D could not be saved in the folder "
           "\u201CQuillet\u201D: it would be larger than 50 MB, more than Quillet reads back."_s;
}

// What the reader would refuse is never written: the files stay byte for byte as they were.
void TestHistoryStore::refusedBeforeAnythingIsWritten()
{
    QFETCH(QString, what);
    QFETCH(QString, message);
    const HistoryStore store(m_storage);
    store.archive(scan(idA));
    store.archive(scan(idB));
    store.saveAnnotation(idB, u"Kept"_s, u"Small"_s);
    const QByteArray notes = readBytes(store.notesPath());
    try {
        if (what == u"note") {
            // Six bytes for each control character in the file.
            store.saveAnnotation(idA, u"Big"_s, QString(200'000, QChar(1)));
        } else if (what == u"import") {
            // Two hundred long column names repeated in every row of the inventory.
            QByteArray csv;
            for (int column = 0; column < 200; ++column)
                csv += "Column with a long name that an earlier release wrote as number " +
                    QByteArray::number(column) + ',';
            csv += "App name\n";
            const QByteArray row = QByteArray(200, ',') + "App\n";
            for (int i = 0; i < 5000; ++i)
                csv += row;
            writeBytes(m_root->filePath(u"Tallyfold/exports/wide.csv"_s), csv);
            Scanner(m_root->path(), m_storage).load();
        } else {
            DataFile::write(m_storage + u"/inventory.json"_s,
                            QByteArray(DataFile::defaultLimit + 1, ' '));
        }
        QFAIL("nothing refused");
    } catch (const Failure &error) {
        QCOMPARE(error.description(), message);
    }
    QCOMPARE(readBytes(store.notesPath()), notes);
    QCOMPARE(QDir(m_storage).entryList(QDir::Files | QDir::Hidden),
             (QStringList{u".quillet-lock"_s, u"snapshot-notes.json"_s}));
    QCOMPARE(QDir(store.directory()).count(), 4u);
    // One large note crowds out no other: the others are still read and saved.
    store.saveAnnotation(idA, u"Fits"_s, QString(100'000, QChar(1)));
    QCOMPARE(store.list().scans.size(), 2);
    QCOMPARE(SnapshotAnnotation::readMap(store.notesPath()).value(idB).name, u"Kept"_s);
}

void TestHistoryStore::annotationNeedsAnArchive_data()
{
    QTest::addColumn<QString>("scanID");
    QTest::newRow("not an identity") << u"abc"_s;
    QTest::newRow("no archive") << idB;
    QTest::newRow("empty") << QString();
}

void TestHistoryStore::annotationNeedsAnArchive()
{
    QFETCH(QString, scanID);
    const HistoryStore store(m_storage);
    store.archive(scan(idA));
    store.saveAnnotation(idA, u"kept"_s, u""_s);
    const QByteArray before = readBytes(store.notesPath());
    try {
        store.saveAnnotation(scanID, u"x"_s, u"y"_s);
        QFAIL("saved");
    } catch (const ScanError &error) {
        QCOMPARE(error.description(), u"Select a saved scan before editing its name or notes."_s);
    }
    QCOMPARE(readBytes(store.notesPath()), before);
}

void TestHistoryStore::annotationNeverOverwritesDamagedNotes_data()
{
    QTest::addColumn<QByteArray>("notes");
    QTest::newRow("array") << QByteArray("[]");
    QTest::newRow("truncated") << QByteArray(R"({"A":{"name":"x")");
    QTest::newRow("notes missing") << QByteArray(R"({"A":{"name":"x"}})");
    QTest::newRow("name not text") << QByteArray(R"({"A":{"name":1,"notes":""}})");
    QTest::newRow("entry not an object") << QByteArray(R"({"A":"x"})");
}

void TestHistoryStore::annotationNeverOverwritesDamagedNotes()
{
    QFETCH(QByteArray, notes);
    const HistoryStore store(m_storage);
    store.archive(scan(idA));
    writeBytes(store.notesPath(), notes);
    QVERIFY_THROWS_EXCEPTION(PlatformError, store.saveAnnotation(idA, u"x"_s, u""_s));
    QCOMPARE(store.applyingAnnotations(scan(idA)), scan(idA));
    QCOMPARE(readBytes(store.notesPath()), notes);
}

void TestHistoryStore::applyingWithoutIdentityReadsNothing()
{
    const HistoryStore store(m_storage);
    writeBytes(store.notesPath(), "damaged");
    Inventory inventory = scan(idA);
    inventory.scanID.reset();
    inventory.snapshotName = u"own"_s;
    QCOMPARE(store.applyingAnnotations(inventory), inventory);
}

void TestHistoryStore::title_data()
{
    QTest::addColumn<OptionalText>("device");
    QTest::addColumn<OptionalText>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("blank device, no date") << OptionalText(u"   "_s) << OptionalText()
                                           << u"Unnamed device · Scan date unknown · ABCDEF"_s;
    QTest::newRow("absent device") << OptionalText() << OptionalText(u"  "_s)
                                   << u"Unnamed device · Scan date unknown · ABCDEF"_s;
    QTest::newRow("named") << OptionalText(u" Anna's iPhone\n"_s)
                           << OptionalText(u" Before iOS update "_s)
                           << u"Before iOS update · Anna's iPhone · Scan date unknown · ABCDEF"_s;
}

void TestHistoryStore::title()
{
    QFETCH(OptionalText, device);
    QFETCH(OptionalText, name);
    QFETCH(QString, expected);
    Inventory inventory;
    inventory.deviceName = device;
    inventory.snapshotName = name;
    const QString id = u"ABCDEF12-0000-4000-8000-000000000000"_s;
    QCOMPARE((SavedScan{id, inventory}.title()), expected);

    // With a date, the middle part is the locale's short date and time.
    inventory.scannedAt = utc("2025-03-04T10:15:00");
    const QStringList parts = SavedScan{id, inventory}.title().split(u" · "_s);
    QCOMPARE(parts.size(), expected.count(u" · "_s) + 1);
    QVERIFY(parts.at(parts.size() - 2).contains(u"25"_s));
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The other process of listingWhileScansAreSaved: saves scans of some size, one by one.
    if (argc == 3 && qstrcmp(argv[1], "--archive-many") == 0) {
        const HistoryStore store(QString::fromLocal8Bit(argv[2]));
        for (int i = 0; i < archivedByWriter; ++i) {
            Inventory inventory =
                scan(HistoryStore::newIdentity(), QDateTime::currentDateTimeUtc());
            for (int row = 0; row < 400; ++row)
                inventory.rows.append({{Column::appName, u"App "_s + QString::number(row)}});
            store.archive(inventory);
        }
        return 0;
    }
    TestHistoryStore test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_historystore.moc"
