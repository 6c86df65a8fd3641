#pragma once

#include "app/Command.h"

class QWidget;

// The About, Help and Getting Started sheets of the main window.
class HelpSheets {
public:
    static void showAbout(QWidget *window);
    // Opens the bundled help in the browser, or says why it cannot.
    static void showHelp(QWidget *window);
    // The welcome shown until it has been dismissed once.
    static void showGettingStarted(QWidget *window);
    static bool welcomeCompleted();
    // About, Help and Getting Started, for the menu bar.
    static QList<Command> commands(QWidget *window);

    HelpSheets() = delete;
};
