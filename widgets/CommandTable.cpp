#include "widgets/CommandTable.h"

#include <QAbstractButton>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

using Group = WindowCommand::Group;

// macOS drops the keyboard letters and moves About, Quit and the settings to the application
// menu by their roles; on Linux "Quillet" is the first menu.
const QList<CommandTable::Menu> CommandTable::menus = {
    {QStringLiteral("&Quillet"), {Group::About, Group::Settings, Group::Quit}},
    {QStringLiteral("&File"), {Group::Scan, Group::Export, Group::Inspect, Group::Close}},
    {QStringLiteral("&Edit"), {Group::Clipboard, Group::Find}},
    {QStringLiteral("&Help"), {Group::Help}},
};

namespace {

// The platform's keys where it has some (Windows, for one, has no Quit key), else ours.
QList<QKeySequence> keysOf(const WindowCommand &command)
{
    QList<QKeySequence> keys;
    if (command.standardKey != QKeySequence::UnknownKey)
        keys = QKeySequence::keyBindings(command.standardKey);
    if (keys.isEmpty() && !command.shortcut.isEmpty())
        keys.append(command.shortcut);
    return keys;
}

} // namespace

CommandTable::CommandTable(QWidget *window) : QObject(window), m_window(window) {}

void CommandTable::add(const QList<WindowCommand> &commands)
{
    for (const WindowCommand &command : commands) {
        auto *action = new QAction(command.title, m_window);
        action->setShortcuts(keysOf(command));
        action->setMenuRole(command.role);
        action->setCheckable(bool(command.checked));
        if (command.reach != WindowCommand::Reach::MainWindow)
            action->setShortcutContext(Qt::ApplicationShortcut);
        connect(action, &QAction::triggered, this, command.run);
        // Its keys work in a window without a menu bar too.
        m_window->addAction(action);
        for (QAbstractButton *button : command.buttons) {
            connect(button, &QAbstractButton::clicked, this, command.run);
            // The button tells its key, as the menu item does.
            if (button->toolTip().isEmpty() && !action->shortcut().isEmpty())
                button->setToolTip(action->shortcut().toString(QKeySequence::NativeText));
        }
        m_entries.append({command, action});
    }
}

void CommandTable::buildMenuBar(QMainWindow *window)
{
    QMenuBar *bar = window->menuBar();
    for (const Menu &layout : menus) {
        QMenu *menu = bar->addMenu(layout.title);
        for (Group group : layout.groups) {
            const bool any = std::any_of(m_entries.begin(), m_entries.end(),
                                         [group](auto &e) { return e.command.group == group; });
            if (any && !menu->isEmpty())
                menu->addSeparator();
            for (const Entry &entry : std::as_const(m_entries)) {
                if (entry.command.group == group)
                    menu->addAction(entry.action);
            }
        }
    }
    refresh();
}

void CommandTable::refresh()
{
    for (const Entry &entry : std::as_const(m_entries)) {
        const WindowCommand &command = entry.command;
        const bool enabled = !command.enabled || command.enabled();
        entry.action->setEnabled(enabled);
        for (QAbstractButton *button : command.buttons)
            button->setEnabled(enabled);
        if (command.checked)
            entry.action->setChecked(command.checked());
        if (command.retitle)
            entry.action->setText(command.retitle());
    }
}

QList<QAction *> CommandTable::overSheetActions() const
{
    QList<QAction *> actions;
    for (const Entry &entry : m_entries) {
        if (entry.command.reach == WindowCommand::Reach::OverSheets)
            actions.append(entry.action);
    }
    return actions;
}

QList<QKeySequence> CommandTable::keys() const
{
    QList<QKeySequence> keys;
    for (const Entry &entry : m_entries) {
        if (entry.command.reach != WindowCommand::Reach::EveryWindow)
            keys += entry.action->shortcuts();
    }
    return keys;
}
