#pragma once

#include "common/Failure.h"
#include "common/Locations.h"
#include "history/SavedScan.h"
#include "history/SnapshotAnnotation.h"

#include <QList>
#include <QString>

// The scan history: one file per scan in "History", written once and never changed, plus the
// user's names and notes in "snapshot-notes.json". Keeps nothing in memory: every call reads
// the files afresh (through the index of the archives), and every write replaces a file whole.
class HistoryStore {
public:
    struct Listing {
        QList<SavedScan> scans;
        // The names of the history files that could not be used; they are left where they are.
        QStringList unreadable;
        // What to tell the user when "snapshot-notes.json" could not be read: the scans are
        // then listed without names and notes, and the file is left as it is.
        QString notesProblem;

        // What to tell the user of the unreadable files; empty when there are none.
        QString unreadableText() const;
    };

    // A change to a scan's name and notes. An absent field keeps what is saved now.
    struct AnnotationChange {
        std::optional<QString> name;
        std::optional<QString> notes;
        // What the editor showed when it opened. A field changed elsewhere since then is not
        // overwritten: the save throws AnnotationConflict. Absent, the change simply wins.
        std::optional<SnapshotAnnotation> seen = std::nullopt;
    };
    // Someone else changed a field that this change changes too; nothing was written.
    class AnnotationConflict : public Failure {
    public:
        explicit AnnotationConflict(SnapshotAnnotation saved);
        // The name and notes saved now.
        SnapshotAnnotation saved;
    };

    explicit HistoryStore(QString storage = Locations::storage());

    const QString &storage() const { return m_storage; }
    QString directory() const;
    QString notesPath() const;

    // Keeps the first archive of a scan identity; a second archive of it changes nothing. The
    // caller holds the data folder's lock when it writes "inventory.json" beside it. `json` is
    // the inventory's encoding when the caller has made it already.
    void archive(const Inventory &inventory, const QByteArray &json = {}) const;
    // Newest first; scans without a date last. Each scan without its rows: only what the
    // picker and the command line's listing show, mostly from the index of the archives.
    Listing list() const;
    // The scan's whole inventory, read from its archive, with its name and notes applied.
    Inventory inventory(const SavedScan &scan) const;
    QString indexPath() const;
    // Gives an inventory of an earlier release its identity and its place in the history.
    // `readFrom` is the text of "inventory.json" it was decoded from, if it was: a file still as
    // it was is then not decoded a second time.
    Inventory migrateLatest(const Inventory &inventory, const QByteArray &readFrom = {}) const;
    Inventory applyingAnnotations(const Inventory &inventory) const;
    // Under the data folder's lock: reads the notes file as it is now and changes only this
    // scan's fields that the change sets. Returns what is saved for the scan.
    SnapshotAnnotation saveAnnotation(const QString &scanID, const AnnotationChange &change) const;
    void saveAnnotation(const QString &scanID, const QString &name, const QString &notes) const
    {
        saveAnnotation(scanID, AnnotationChange{name, notes});
    }

    // 8-4-4-4-12 hexadecimal digits, either letter case.
    static bool isValidIdentity(const QString &text);
    static QString newIdentity();

private:
    QString archivePath(const QString &scanID) const;
    // What the listing keeps of one archive; nothing when it cannot be used.
    std::optional<SavedScan> summary(const QString &file) const;

    QString m_storage;
};
