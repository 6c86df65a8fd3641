#pragma once

#include "app/WindowCommand.h"

#include <QList>
#include <QObject>
#include <QPointer>

class QMainWindow;
class QMenu;

// The commands of a window, each registered once, and the menu bar built from them: menus,
// keys, enabled and checked states. Each part of the window adds its own commands; refresh()
// asks every command whether it can run now, for its menu item and its buttons alike.
class CommandTable : public QObject {
    Q_OBJECT

public:
    explicit CommandTable(QMainWindow *window);

    void add(const QList<WindowCommand> &commands);
    // The window's menu bar: each menu with its groups in their order, each group's commands in
    // the order they were added.
    void buildMenuBar();
    // Enabled, checked and titled as each command says now.
    void refresh();

    // The commands that work over a sheet, for a sheet to take on.
    QList<QAction *> overSheetActions() const;
    // Every key of the commands, for a field that would otherwise keep one for itself.
    QList<QKeySequence> keys() const;
    // The item titled `title`, for tests and for parts that show one.
    QAction *action(const QString &title) const;

    // The menus in order, with their titles: "&File" gives the menu a keyboard letter where
    // the platform uses them.
    struct Menu {
        QString title;
        QList<WindowCommand::Group> groups;
    };
    static const QList<Menu> menus;

private:
    struct Entry {
        WindowCommand command;
        QAction *action = nullptr;
    };

    QPointer<QMainWindow> m_window;
    QList<Entry> m_entries;
};
