#pragma once

#include <QDialog>
#include <QString>

struct Inventory;

// Device Details: everything the scan on screen knows of its device, grouped (device, storage
// with a bar of apps, other and free, battery, security and management), with the warnings
// first. Every value is selectable plain text; Copy Details copies the whole sheet.
class DeviceSheetWindow : public QDialog {
    Q_OBJECT

public:
    DeviceSheetWindow(const Inventory &scan, QWidget *window);

    // The sheet as text, as Copy Details puts it on the clipboard.
    const QString &detailsText() const { return m_detailsText; }

private:
    QString m_detailsText;
};
