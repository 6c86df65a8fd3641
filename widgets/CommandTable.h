#pragma once

#include "widgets/WindowCommand.h"

#include <QList>
#include <QObject>
#include <QPointer>

class QMainWindow;
class QWidget;

// The commands of a window, each registered once, and what is built from them: the menu bar of
// a main window, the keys of any window, enabled and checked states. Each part of the window
// adds its own commands; refresh() asks every command whether it can run now, for its menu item
// and its buttons alike.
class CommandTable : public QObject {
    Q_OBJECT

public:
    // The commands' keys work while `window` is the active window.
    explicit CommandTable(QWidget *window);

    void add(const QList<WindowCommand> &commands);
    // A main window's menu bar: each menu with its groups in their order, each group's
    // commands in the order they were added.
    void buildMenuBar(QMainWindow *window);
    // Enabled, checked and titled as each command says now.
    void refresh();

    // The commands that work over a sheet, for a sheet to take on.
    QList<QAction *> overSheetActions() const;
    // The keys of the window's own commands, for a field that would otherwise keep one for
    // itself. The Edit menu's are left out: a field cuts, copies and pastes by itself.
    QList<QKeySequence> keys() const;

private:
    // The menus in order, with their titles: "&File" gives the menu a keyboard letter where
    // the platform uses them.
    struct Menu {
        QString title;
        QList<WindowCommand::Group> groups;
    };
    static const QList<Menu> menus;

    struct Entry {
        WindowCommand command;
        QAction *action = nullptr;
    };

    QPointer<QWidget> m_window;
    QList<Entry> m_entries;
};
