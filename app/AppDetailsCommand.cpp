#include "app/AppDetailsCommand.h"

#include "app/InventoryTable.h"
#include "app/MainWindow.h"
#include "app/ShownInventory.h"
#include "features/AppDetailsWindow.h"
#include "widgets/CommandTable.h"
#include "widgets/Sheet.h"

#include <QItemSelectionModel>

AppDetailsCommand::AppDetailsCommand(MainWindow *window, InventoryTable *table,
                                     const ShownInventory *shown, std::function<bool()> busy,
                                     QObject *parent)
    : QObject(parent), m_window(window), m_table(table), m_shown(shown), m_busy(std::move(busy))
{
    connect(table, &InventoryTable::rowActivated, this, &AppDetailsCommand::show);
    connect(table->view()->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &AppDetailsCommand::changed);
}

WindowCommand AppDetailsCommand::command()
{
    return {.group = WindowCommand::Group::Inspect,
            .title = QStringLiteral("App Details\u2026"),
            .run = [this] { showChosen(); },
            .shortcut = QKeySequence(QStringLiteral("Ctrl+I")),
            .enabled = [this] { return !m_busy() && m_shown->visibleRow(m_table->chosenRow()); }};
}

void AppDetailsCommand::showChosen()
{
    show(m_table->chosenRow());
}

void AppDetailsCommand::show(int row)
{
    const std::optional<Row> app = m_shown->visibleRow(row);
    if (m_busy() || !app || !m_window || Sheet::isShowing(m_window))
        return;
    m_sheet = new AppDetailsWindow(*app, m_shown->current(), m_window);
    // The sheet blocks the main window's shortcuts; Quit, Close Window and Help work from it.
    if (m_commands)
        m_sheet->addActions(m_commands->overSheetActions());
    m_sheet->open();
}
