#pragma once

#include "scanning/ConnectedDevice.h"

#include <QDialog>
#include <QList>

class QTreeWidget;

// The sheet that opens when Scan Device finds several devices: one line for each (name, model,
// system, the end of its identifier) and Scan, Scan All or Cancel.
class DeviceChooser : public QDialog {
    Q_OBJECT

public:
    // `preselected` is the identifier of the device to start on, if connected.
    DeviceChooser(const QList<ConnectedDevice> &devices, const QString &preselected,
                  QWidget *window);

Q_SIGNALS:
    // Scan or Scan All: the devices to scan, in the list's order.
    void chosen(const QList<ConnectedDevice> &devices);

private:
    QList<ConnectedDevice> m_devices;
    QTreeWidget *m_list = nullptr;
};
