#pragma once

#include <QAction>
#include <QKeySequence>
#include <QList>
#include <QString>

#include <functional>

class QAbstractButton;

// One command of the menu bar, as the window or a part of it contributes it to the
// CommandTable: where it goes, its keys, what it does and when it can do it.
struct WindowCommand {
    // The groups of the menu bar's menus, which CommandTable lays out; a line separates them.
    enum class Group { About, Settings, Quit, Scan, Export, Inspect, Close, Clipboard, Find, Help };
    // Where its keys work: in the main window; in every window, on the widget with the focus
    // there; or also over a sheet, which blocks its window (Quit, Close Window and Help, as the
    // Mac's one menu bar does).
    enum class Reach { MainWindow, EveryWindow, OverSheets };

    Group group;
    QString title;
    std::function<void()> run;
    // The platform's own keys for it, where it has any (F1 for help on Linux, Cmd+? on the Mac).
    QKeySequence::StandardKey standardKey = QKeySequence::UnknownKey;
    // Our key: for a command with no standard key, or where the platform has none for it.
    QKeySequence shortcut = {};
    // Whether it can do anything in the window's state now; always, when not given.
    std::function<bool()> enabled = {};
    // For a setting the command turns on and off: whether it is on now.
    std::function<bool()> checked = {};
    // A title that follows the state (Scan Device that cancels the scan under way).
    std::function<QString()> retitle = {};
    // Buttons of the window that do the same, enabled when it is.
    QList<QAbstractButton *> buttons = {};
    QAction::MenuRole role = QAction::NoRole;
    Reach reach = Reach::MainWindow;
};
