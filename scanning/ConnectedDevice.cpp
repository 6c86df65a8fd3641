#include "scanning/ConnectedDevice.h"

QString ConnectedDevice::title() const
{
    if (name && !name->isEmpty())
        return *name;
    return QStringLiteral("Device ") + identifier.right(8);
}
