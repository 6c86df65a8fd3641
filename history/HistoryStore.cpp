#include "history/HistoryStore.h"

#include "common/DataFile.h"
#include "common/DataFolderLock.h"
#include "common/Failure.h"
#include "common/PlainText.h"
#include "common/PlatformError.h"
#include "common/Plural.h"
#include "history/HistoryIndex.h"
#include "history/SnapshotAnnotation.h"
#include "scanning/ScanError.h"

#include <QDir>
#include <QFileInfo>
#include <QUuid>

#include <algorithm>

namespace {

const QString noIdentityMessage = QStringLiteral("The scan has no valid history identifier.");
const QString selectScanMessage =
    QStringLiteral("Select a saved scan before editing its name or notes.");
const QString latestFile = QStringLiteral("/inventory.json");

bool isHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

void applyAnnotation(Inventory &inventory, const SnapshotAnnotation::Map &annotations)
{
    const auto found = annotations.constFind(*inventory.scanID);
    if (found == annotations.cend())
        return;
    inventory.snapshotName = found->name;
    inventory.snapshotNotes = found->notes;
}

bool isLineBreak(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x0A && u <= 0x0D) || u == 0x85 || u == 0x2028 || u == 0x2029;
}

// A cache, written from this listing's own view of the folder: an entry another listing wrote
// meanwhile is checked against its file again next time, as every entry is.
void writeIndex(const QString &storage, const QString &path, const QByteArray &index)
{
    try {
        // Only when no one else is writing: a listing never waits for its cache.
        const DataFolderLock lock(storage, 0);
        DataFile::write(path, index, HistoryIndex::limit);
    } catch (const Failure &) {
        // Without it the next listing reads the archives again.
    }
}

} // namespace

QString HistoryStore::Listing::unreadableText() const
{
    if (unreadable.isEmpty())
        return {};
    // A handful of names: enough to find the files, never a wall of them.
    constexpr qsizetype named = 3;
    QStringList names;
    for (const QString &name : unreadable.first(std::min(named, unreadable.size())))
        names.append(QChar(0x201C) + PlainText::isolated(PlainText::oneLine(name)) + QChar(0x201D));
    QString listed = names.join(QStringLiteral(", "));
    if (unreadable.size() > named)
        listed += QStringLiteral(" and %1 more").arg(unreadable.size() - named);
    return QStringLiteral("%1 could not be read: %2. %3 been preserved.")
        .arg(Plural::of(unreadable.size(), QStringLiteral("saved scan"),
                        QStringLiteral("saved scans")),
             listed,
             unreadable.size() == 1 ? QStringLiteral("Its file has")
                                    : QStringLiteral("Their files have"));
}

HistoryStore::AnnotationConflict::AnnotationConflict(SnapshotAnnotation saved)
    : Failure(QStringLiteral("Another edit was saved meanwhile.")), saved(std::move(saved))
{}

HistoryStore::HistoryStore(QString storage) : m_storage(std::move(storage)) {}

QString HistoryStore::directory() const
{
    return m_storage + QStringLiteral("/History");
}

QString HistoryStore::notesPath() const
{
    return m_storage + QStringLiteral("/snapshot-notes.json");
}

QString HistoryStore::archivePath(const QString &scanID) const
{
    return directory() + u'/' + scanID + QStringLiteral(".json");
}

bool HistoryStore::isValidIdentity(const QString &text)
{
    if (text.size() != 36)
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphen ? text[i] != u'-' : !isHexDigit(text[i]))
            return false;
    }
    return true;
}

QString HistoryStore::newIdentity()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

void HistoryStore::archive(const Inventory &inventory, const QByteArray &json) const
{
    if (!inventory.scanID || !isValidIdentity(*inventory.scanID))
        throw ScanError(noIdentityMessage);
    DataFile::makeFolder(directory());
    const QString target = archivePath(*inventory.scanID);
    if (DataFile::exists(target))
        return;
    DataFile::write(target, json.isEmpty() ? inventory.toJson() : json);
}

QString HistoryStore::indexPath() const
{
    return m_storage + QStringLiteral("/history-index.json");
}

std::optional<SavedScan> HistoryStore::summary(const QString &file) const
{
    try {
        const QString path = directory() + u'/' + file;
        qsizetype apps = 0;
        Inventory inventory = Inventory::headerFromJson(DataFile::read(path), path, apps);
        if (!inventory.scanID || !isValidIdentity(*inventory.scanID))
            return std::nullopt;
        const QString id = *inventory.scanID;
        return SavedScan{id, std::move(inventory), file, apps};
    } catch (const PlatformError &) {
        return std::nullopt;
    }
}

HistoryStore::Listing HistoryStore::list() const
{
    Listing listing;
    // An unreadable data folder would otherwise look like one without any history.
    DataFile::checkFolder(m_storage);
    const QString folder = directory();
    const QFileInfo folderInfo(folder);
    if (!folderInfo.exists())
        return listing;
    if (!folderInfo.isDir())
        throw PlatformError::cannotList(folder, QStringLiteral("it is not a folder"));
    if (!folderInfo.isReadable() || !folderInfo.isExecutable())
        throw PlatformError::cannotList(folder,
                                        QStringLiteral("you do not have permission to read it"));

    const QFileInfoList entries = QDir(folder).entryInfoList(
        {QStringLiteral("*.json")},
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot | QDir::CaseSensitive,
        QDir::Name);
    SnapshotAnnotation::Map annotations;
    try {
        annotations = SnapshotAnnotation::readMap(notesPath());
    } catch (const Failure &error) {
        // The scans are still worth showing, without names and notes; the file stays as it is.
        listing.notesProblem = error.description() +
            QStringLiteral(" Names and notes of saved scans are not shown; the file is left as it "
                           "is.");
    }

    // Only archives that are new or changed since the index was written are read.
    const HistoryIndex::Map cached = HistoryIndex::read(indexPath());
    HistoryIndex::Map current;
    current.reserve(entries.size());
    bool changed = false;
    for (const QFileInfo &info : entries) {
        const QString name = info.fileName();
        if (!name.endsWith(QStringLiteral(".json")))
            continue;
        const qint64 size = info.isFile() ? info.size() : -1;
        const qint64 modified = info.lastModified().toMSecsSinceEpoch();
        const auto found = cached.constFind(name);
        HistoryIndex::Entry entry;
        // An archive that could not be used is tried again: it may be readable now.
        if (found != cached.cend() && found->scan && found->size == size &&
            found->modified == modified) {
            entry = *found;
        } else {
            entry = {size, modified, summary(name)};
            changed = true;
        }
        if (entry.scan) {
            SavedScan scan = *entry.scan;
            applyAnnotation(scan.inventory, annotations);
            listing.scans.append(std::move(scan));
        } else {
            listing.unreadable.append(name);
        }
        current.insert(name, std::move(entry));
    }
    if (changed || current.size() != cached.size()) {
        // An index too large for its reader keeps what fits; the rest is read every time, and
        // the same file is not written again.
        const auto [kept, file] = HistoryIndex::fitting(current);
        if (kept != cached)
            writeIndex(m_storage, indexPath(), file);
    }

    // Newest first; for equal dates the greater identity first; undated scans last.
    std::stable_sort(listing.scans.begin(), listing.scans.end(),
                     [](const SavedScan &a, const SavedScan &b) {
                         const auto &da = a.inventory.scannedAt;
                         const auto &db = b.inventory.scannedAt;
                         if (da.has_value() != db.has_value())
                             return da.has_value();
                         if (da && *da != *db)
                             return *da > *db;
                         return a.id > b.id;
                     });
    return listing;
}

Inventory HistoryStore::inventory(const SavedScan &scan) const
{
    if (scan.file.isEmpty())
        return scan.inventory;
    const QString path = directory() + u'/' + scan.file;
    return applyingAnnotations(Inventory::fromJson(DataFile::read(path), path));
}

Inventory HistoryStore::migrateLatest(const Inventory &inventory, const QByteArray &readFrom) const
{
    if (inventory.scanID || inventory.rows.isEmpty())
        return applyingAnnotations(inventory);
    const DataFolderLock lock(m_storage);
    // The window and quillet-cli may both start on an inventory of an earlier release: the
    // first gives it its identity, the second finds it given.
    const QString latest = m_storage + latestFile;
    Inventory migrated = inventory;
    try {
        if (DataFile::exists(latest)) {
            const QByteArray json = DataFile::read(latest);
            if (readFrom.isEmpty() || json != readFrom) {
                Inventory now = Inventory::fromJson(json, latest);
                if (now.scanID || now.rows.isEmpty())
                    return applyingAnnotations(now);
                migrated = std::move(now);
            }
        }
    } catch (const PlatformError &) {
        // Unreadable now (a link planted there, say): the save below replaces it.
    }
    migrated.scanID = newIdentity();
    archive(migrated);
    migrated.writeFile(latest);
    return migrated;
}

Inventory HistoryStore::applyingAnnotations(const Inventory &inventory) const
{
    Inventory copy = inventory;
    if (!copy.scanID)
        return copy;
    try {
        applyAnnotation(copy, SnapshotAnnotation::readMap(notesPath()));
    } catch (const Failure &) {
        // A damaged notes file hides names and notes, never the inventory; list() reports it.
    }
    return copy;
}

SnapshotAnnotation HistoryStore::saveAnnotation(const QString &scanID,
                                                const AnnotationChange &change) const
{
    if (!isValidIdentity(scanID) || !QFileInfo(archivePath(scanID)).isFile())
        throw ScanError(selectScanMessage);
    std::optional<QString> name = change.name;
    if (name) {
        for (QChar &c : *name) {
            if (isLineBreak(c))
                c = u' ';
        }
        name = name->trimmed();
    }

    const DataFolderLock lock(m_storage);
    SnapshotAnnotation::Map annotations = SnapshotAnnotation::readMap(notesPath());
    SnapshotAnnotation saved;
    if (const auto found = annotations.constFind(scanID); found != annotations.cend()) {
        saved = *found;
    } else if (!name || !change.notes || change.seen) {
        // Never annotated: what the archive itself carries, as the listing shows it.
        try {
            const Inventory archived = Inventory::readFile(archivePath(scanID));
            saved = {archived.snapshotName.value_or(QString()),
                     archived.snapshotNotes.value_or(QString())};
        } catch (const Failure &) {
            // Not listed, so nothing of it is shown either.
        }
    }
    if (const std::optional<SnapshotAnnotation> &seen = change.seen) {
        const bool nameTaken = name && saved.name != seen->name && saved.name != *name;
        const bool notesTaken =
            change.notes && saved.notes != seen->notes && saved.notes != *change.notes;
        if (nameTaken || notesTaken)
            throw AnnotationConflict(saved);
    }

    const SnapshotAnnotation updated{name.value_or(saved.name), change.notes.value_or(saved.notes)};
    if (updated.encodedSize() > SnapshotAnnotation::entryLimit)
        throw ScanError(QStringLiteral("The name and notes are too long to save: together they may "
                                       "take up to %1 MB. Shorten the notes and save again.")
                            .arg(SnapshotAnnotation::entryLimit / 1'000'000));
    annotations.insert(scanID, updated);
    SnapshotAnnotation::writeMap(notesPath(), annotations);
    return updated;
}
