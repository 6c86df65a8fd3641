#include "history/HistoryStore.h"

#include "common/DataFile.h"
#include "common/PlatformError.h"
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

} // namespace

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

void HistoryStore::archive(const Inventory &inventory) const
{
    if (!inventory.scanID || !isValidIdentity(*inventory.scanID))
        throw ScanError(noIdentityMessage);
    DataFile::makeFolder(directory());
    const QString target = archivePath(*inventory.scanID);
    if (DataFile::exists(target))
        return;
    inventory.writeFile(target);
}

HistoryStore::Listing HistoryStore::list() const
{
    Listing listing;
    const QString folder = directory();
    const QFileInfo folderInfo(folder);
    if (!folderInfo.exists())
        return listing;
    if (!folderInfo.isDir())
        throw PlatformError::cannotList(folder, QStringLiteral("it is not a folder"));
    if (!folderInfo.isReadable() || !folderInfo.isExecutable())
        throw PlatformError::cannotList(folder,
                                        QStringLiteral("you do not have permission to read it"));

    const QStringList names = QDir(folder).entryList(
        {QStringLiteral("*.json")},
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot | QDir::CaseSensitive,
        QDir::Name);
    const SnapshotAnnotation::Map annotations = SnapshotAnnotation::readMap(notesPath());

    for (const QString &name : names) {
        if (!name.endsWith(QStringLiteral(".json")))
            continue;
        try {
            const QString path = folder + u'/' + name;
            Inventory inventory = Inventory::fromJson(DataFile::read(path), path);
            if (!inventory.scanID || !isValidIdentity(*inventory.scanID)) {
                ++listing.unreadable;
                continue;
            }
            applyAnnotation(inventory, annotations);
            const QString id = *inventory.scanID;
            listing.scans.append({id, std::move(inventory)});
        } catch (const PlatformError &) {
            ++listing.unreadable;
        }
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

Inventory HistoryStore::migrateLatest(const Inventory &inventory) const
{
    if (inventory.scanID || inventory.rows.isEmpty())
        return applyingAnnotations(inventory);
    Inventory migrated = inventory;
    migrated.scanID = newIdentity();
    archive(migrated);
    migrated.writeFile(m_storage + QStringLiteral("/inventory.json"));
    return migrated;
}

Inventory HistoryStore::applyingAnnotations(const Inventory &inventory) const
{
    Inventory copy = inventory;
    if (copy.scanID)
        applyAnnotation(copy, SnapshotAnnotation::readMap(notesPath()));
    return copy;
}

void HistoryStore::saveAnnotation(const QString &scanID, const QString &name,
                                  const QString &notes) const
{
    if (!isValidIdentity(scanID) || !QFileInfo(archivePath(scanID)).isFile())
        throw ScanError(selectScanMessage);
    SnapshotAnnotation::Map annotations = SnapshotAnnotation::readMap(notesPath());

    QString oneLine = name;
    for (QChar &c : oneLine) {
        if (isLineBreak(c))
            c = u' ';
    }
    annotations.insert(scanID, {oneLine.trimmed(), notes});
    SnapshotAnnotation::writeMap(notesPath(), annotations);
}
