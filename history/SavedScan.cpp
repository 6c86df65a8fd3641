#include "history/SavedScan.h"

#include "common/PlainText.h"

#include <QLocale>

QString SavedScan::title() const
{
    const QString separator = QStringLiteral(" \u00B7 ");
    QString device = inventory.deviceName.value_or(QString()).trimmed();
    if (device.isEmpty())
        device = QStringLiteral("Unnamed device");
    const QString date = inventory.scannedAt
        ? QLocale::system().toString(inventory.scannedAt->toLocalTime(), QLocale::ShortFormat)
        : QStringLiteral("Scan date unknown");
    const QString name = inventory.snapshotName.value_or(QString()).trimmed();
    // A name written right to left must not turn the date and the id around.
    const QString prefix = name.isEmpty() ? QString() : PlainText::isolated(name) + separator;
    return prefix + PlainText::isolated(device) + separator + date + separator + id.left(6);
}
