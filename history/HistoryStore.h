#pragma once

#include "common/Locations.h"
#include "history/SavedScan.h"

#include <QList>
#include <QString>

// The scan history: one file per scan in "History", written once and never changed, plus the
// user's names and notes in "snapshot-notes.json". Keeps nothing in memory: every call reads
// the files afresh (through the index of the archives), and every write replaces a file whole.
class HistoryStore {
public:
    struct Listing {
        QList<SavedScan> scans;
        // History files that could not be used; they are left where they are.
        int unreadable = 0;
        // What to tell the user when "snapshot-notes.json" could not be read: the scans are
        // then listed without names and notes, and the file is left as it is.
        QString notesProblem;
    };

    explicit HistoryStore(QString storage = Locations::storage());

    const QString &storage() const { return m_storage; }
    QString directory() const;
    QString notesPath() const;

    // Keeps the first archive of a scan identity; a second archive of it changes nothing.
    void archive(const Inventory &inventory) const;
    // Newest first; scans without a date last. Each scan without its rows: only what the
    // picker and the command line's listing show, mostly from the index of the archives.
    Listing list() const;
    // The scan's whole inventory, read from its archive, with its name and notes applied.
    Inventory inventory(const SavedScan &scan) const;
    QString indexPath() const;
    // Gives an inventory of an earlier release its identity and its place in the history.
    Inventory migrateLatest(const Inventory &inventory) const;
    Inventory applyingAnnotations(const Inventory &inventory) const;
    void saveAnnotation(const QString &scanID, const QString &name, const QString &notes) const;

    // 8-4-4-4-12 hexadecimal digits, either letter case.
    static bool isValidIdentity(const QString &text);
    static QString newIdentity();

private:
    QString archivePath(const QString &scanID) const;
    // What the listing keeps of one archive; nothing when it cannot be used.
    std::optional<SavedScan> summary(const QString &file) const;

    QString m_storage;
};
