#pragma once

#include "widgets/WindowCommand.h"

#include <QObject>
#include <QPointer>

class MainWindow;

// Record Phone Identifiers: the setting that keeps a phone's IMEI, phone number, ICCID, Wi-Fi
// and Bluetooth addresses with each scan and shows them in Device Details and the exports. Off
// unless turned on here or with --record-identifiers.
class PersonalIdentifiersCommand : public QObject {
    Q_OBJECT

public:
    explicit PersonalIdentifiersCommand(MainWindow *window, QObject *parent = nullptr);

    WindowCommand command();
    void toggle();

Q_SIGNALS:
    void changed();

private:
    QPointer<MainWindow> m_window;
};
