#pragma once

#include "scanning/DeviceWatcher.h"

#include <QFutureWatcher>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include <memory>

class Scanner;

// Scan Devices When Connected: while it is on, it looks every two seconds for connected
// devices, away from the main thread, and says which of them are due for a scan. The setting is
// remembered.
class DeviceWatch : public QObject {
    Q_OBJECT

public:
    explicit DeviceWatch(QObject *parent = nullptr);
    // A look still running is cancelled and waited for.
    ~DeviceWatch() override;

    // Whether the user turned it on, now or in an earlier session.
    static bool isRemembered();
    bool isOn() const { return m_on; }
    // Turns it on (starting afresh: every device connected then is due) or off, remembered.
    void setOn(bool on);

    // What the caller makes of each due device: see DeviceWatcher.
    DeviceWatcher &watcher() { return m_watcher; }

Q_SIGNALS:
    // Devices due for a scan, in order: new ones, and waiting ones that now answer.
    void due(const QStringList &devices);
    // Devices could not be listed; said once until it changes.
    void lookFailed(const QString &description);

private:
    // What one look found: the devices connected, then those of them that wait for their user
    // and now answer; or why the devices could not be listed.
    struct Look {
        QStringList connected;
        QSet<QString> answering;
        QString problem;
    };

    void look();
    void looked();

    bool m_on = false;
    QTimer m_timer;
    std::shared_ptr<Scanner> m_scanner;
    QFutureWatcher<Look> m_look;
    QString m_problem;
    DeviceWatcher m_watcher;
};
