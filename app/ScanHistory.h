#pragma once

#include "history/SavedScan.h"
#include "widgets/WindowCommand.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class ComparisonWindow;
class MainWindow;
class ShownInventory;
class SnapshotEditing;
struct Inventory;

// The Scan History row and its commands: the saved scans in the picker, the one the table
// shows, Snapshot Name & Notes over it and Compare Scans. Nothing is picked, named or compared
// while a scan runs.
class ScanHistory : public QObject {
    Q_OBJECT

public:
    ScanHistory(MainWindow *window, ShownInventory *shown, std::function<bool()> busy,
                QObject *parent = nullptr);
    ~ScanHistory() override;

    QList<WindowCommand> commands();
    // Lists the saved scans again, selecting the one the table shows.
    void refresh();
    // Shows the scan chosen in the picker.
    void select();
    void editSnapshot();
    // Compares two saved scans in a window of their own, or says how to have two.
    void compare();

    const QList<SavedScan> &savedScans() const { return m_savedScans; }
    ComparisonWindow *comparisonWindow() const { return m_comparisonWindow.get(); }
    bool canPick() const;
    // The table shows one of the saved scans, whose name and notes can be edited.
    bool showsSavedScan() const;

Q_SIGNALS:
    // Other scans are listed.
    void changed();

private:
    void display(const Inventory &inventory);
    // The name and notes of a scan were saved: what shows them follows.
    void snapshotSaved();

    QPointer<MainWindow> m_window;
    ShownInventory *m_shown = nullptr;
    std::function<bool()> m_busy;
    SnapshotEditing *m_snapshots = nullptr;
    QList<SavedScan> m_savedScans;
    // The picker's entry for what the table shows.
    int m_shownEntry = 0;
    std::unique_ptr<ComparisonWindow> m_comparisonWindow;
};
