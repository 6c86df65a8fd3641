#include "scanning/ConnectedDevice.h"

QString ConnectedDevice::title() const
{
    if (name && !name->isEmpty())
        return *name;
    return QStringLiteral("Device ") + identifierEnd();
}

QString ConnectedDevice::identifierEnd() const
{
    return identifier.right(8);
}
