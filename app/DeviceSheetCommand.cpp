#include "app/DeviceSheetCommand.h"

#include "app/MainWindow.h"
#include "app/ShownInventory.h"
#include "features/DeviceSheetWindow.h"
#include "scanning/device/DeviceFacts.h"
#include "widgets/CommandTable.h"
#include "widgets/Sheet.h"

#include <QPushButton>

DeviceSheetCommand::DeviceSheetCommand(MainWindow *window, const ShownInventory *shown,
                                       std::function<bool()> busy, QObject *parent)
    : QObject(parent), m_window(window), m_shown(shown), m_busy(std::move(busy))
{}

WindowCommand DeviceSheetCommand::command()
{
    return {.group = WindowCommand::Group::Inspect,
            .title = QStringLiteral("Device Details\u2026"),
            .run = [this] { show(); },
            .shortcut = QKeySequence(QStringLiteral("Ctrl+Shift+I")),
            .enabled = [this] { return canShow(); },
            .buttons = {m_window->deviceDetailsButton()}};
}

bool DeviceSheetCommand::canShow() const
{
    return !m_busy() && !m_shown->current().deviceFacts().isEmpty();
}

void DeviceSheetCommand::show()
{
    if (!canShow() || !m_window || Sheet::isShowing(m_window))
        return;
    m_sheet = new DeviceSheetWindow(m_shown->current(), m_window);
    // The sheet blocks the main window's shortcuts; Quit, Close Window and Help work from it.
    if (m_commands)
        m_sheet->addActions(m_commands->overSheetActions());
    m_sheet->open();
}
