#pragma once

#include "widgets/WindowCommand.h"

#include <QDialog>
#include <QObject>
#include <QPointer>

#include <functional>

class CommandTable;
class InventoryTable;
class MainWindow;
class ShownInventory;

// App Details: the sheet over the app chosen in the table, by selecting it or double-clicking
// its row.
class AppDetailsCommand : public QObject {
    Q_OBJECT

public:
    AppDetailsCommand(MainWindow *window, InventoryTable *table, const ShownInventory *shown,
                      std::function<bool()> busy, QObject *parent = nullptr);

    // The commands the sheet takes on from the window it blocks.
    void setCommands(const CommandTable *commands) { m_commands = commands; }
    WindowCommand command();
    // The app selected in the table.
    void showChosen();
    // The app in the table's row `row`; nothing while a scan runs or another sheet shows.
    void show(int row);
    QDialog *sheet() const { return m_sheet; }

Q_SIGNALS:
    // Another app is chosen, or none.
    void changed();

private:
    QPointer<MainWindow> m_window;
    InventoryTable *m_table = nullptr;
    const ShownInventory *m_shown = nullptr;
    std::function<bool()> m_busy;
    const CommandTable *m_commands = nullptr;
    QPointer<QDialog> m_sheet;
};
