#include "scanning/ConnectedDevice.h"

#include "common/PlainText.h"

QString ConnectedDevice::title() const
{
    if (name && !name->isEmpty())
        return PlainText::isolated(*name);
    return QStringLiteral("Device ") + identifier.right(8);
}
