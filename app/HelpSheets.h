#pragma once

#include "widgets/WindowCommand.h"

class QWidget;

// The About, Help and Getting Started sheets of the main window.
class HelpSheets {
public:
    static void showAbout(QWidget *window);
    // Opens the bundled help in the browser, or says why it cannot.
    static void showHelp(QWidget *window);
    // The same, asked for from any window: what goes wrong is said there, else on `window`.
    static void showHelpFromActiveWindow(QWidget *window);
    // The welcome shown until it has been dismissed once.
    static void showGettingStarted(QWidget *window);
    static bool welcomeCompleted();
    // About, Help and Getting Started, for the menu bar.
    static QList<WindowCommand> commands(QWidget *window);

    HelpSheets() = delete;
};
