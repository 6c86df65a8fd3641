#pragma once

#include "widgets/WindowCommand.h"

#include <QObject>
#include <QPointer>

class MainWindow;

// App Store Country: the sheet that chooses the store categories, store versions and icons come
// from, and what follows the choice: the setting, the status line and, for the demo device, its
// store answers.
class StoreCountryCommand : public QObject {
    Q_OBJECT

public:
    StoreCountryCommand(MainWindow *window, bool demo, QObject *parent = nullptr);

    WindowCommand command();
    // Does nothing while the window shows another sheet.
    void run();

Q_SIGNALS:
    // The next scan asks another store.
    void chosen();

private:
    void choose(const QString &country);

    QPointer<MainWindow> m_window;
    bool m_demo = false;
};
