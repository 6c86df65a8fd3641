#pragma once

#include "widgets/WindowCommand.h"

#include <QDialog>
#include <QObject>
#include <QPointer>

#include <functional>

class CommandTable;
class MainWindow;
class ShownInventory;

// Device Details: the sheet of everything the scan on screen knows of its device, from the
// menu, its key, or the button beside the device line.
class DeviceSheetCommand : public QObject {
    Q_OBJECT

public:
    DeviceSheetCommand(MainWindow *window, const ShownInventory *shown, std::function<bool()> busy,
                       QObject *parent = nullptr);

    // The commands the sheet takes on from the window it blocks.
    void setCommands(const CommandTable *commands) { m_commands = commands; }
    WindowCommand command();
    // Nothing while a scan runs, another sheet shows, or the scan knows nothing of its device.
    void show();
    QDialog *sheet() const { return m_sheet; }

private:
    bool canShow() const;

    QPointer<MainWindow> m_window;
    const ShownInventory *m_shown = nullptr;
    std::function<bool()> m_busy;
    const CommandTable *m_commands = nullptr;
    QPointer<QDialog> m_sheet;
};
