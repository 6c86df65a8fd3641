#pragma once

#include "history/HistoryStore.h"
#include "scanning/Inventory.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

// Snapshot Name & Notes: the editor over a saved scan's name and notes, which saves only the
// fields the user changed, and the choice the user makes when quillet-cli or another window
// saved them in the meantime. Failures are shown on the window.
class SnapshotEditing : public QObject {
    Q_OBJECT

public:
    explicit SnapshotEditing(QObject *parent = nullptr);

    void setWindow(QWidget *window) { m_window = window; }
    // Opens the editor over the name and notes of `scan` as they are saved now.
    void edit(const Inventory &scan);

Q_SIGNALS:
    void saved();

private:
    // The editor over `typed`, saving what differs from `seen`, the name and notes on disk.
    void open(const QString &scanID, const SnapshotAnnotation &seen,
              const SnapshotAnnotation &typed);
    void save(const QString &scanID, const HistoryStore::AnnotationChange &change,
              const SnapshotAnnotation &typed);
    void resolveConflict(const QString &scanID, const HistoryStore::AnnotationChange &change,
                         const SnapshotAnnotation &typed,
                         const HistoryStore::AnnotationConflict &conflict);

    QPointer<QWidget> m_window;
};
