#pragma once

#include "widgets/WindowCommand.h"

#include <QObject>
#include <QString>

#include <functional>

class QWidget;

// Check for Updates: reads the update settings, asks the release feed and tells the user what it
// found in a sheet on the window, with the status line following along.
class UpdateCommand : public QObject {
    Q_OBJECT

public:
    UpdateCommand(QWidget *window, std::function<void(const QString &)> setStatus,
                  QObject *parent = nullptr);

    // Does nothing while a check is running.
    void run();
    bool isChecking() const { return m_checking; }
    // Check for Updates, for the menu bar: off while a check runs.
    WindowCommand command();
    // A sheet with `detail` and, for an HTTPS `url`, a Visit Website button that opens it.
    void showMessage(const QString &title, const QString &detail, const QString &url);

Q_SIGNALS:
    void checkingChanged();

private:
    QWidget *m_window;
    std::function<void(const QString &)> m_setStatus;
    bool m_checking = false;
};
