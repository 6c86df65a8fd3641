#include "common/HostWording.h"

#ifdef Q_OS_MACOS
constexpr bool onMac = true;
#else
constexpr bool onMac = false;
#endif

QString HostWording::thisComputer()
{
    return onMac ? QStringLiteral("this Mac") : QStringLiteral("this computer");
}

QString HostWording::yourComputer()
{
    return onMac ? QStringLiteral("your Mac") : QStringLiteral("your computer");
}

QString HostWording::confirmTrust()
{
    return onMac ? QStringLiteral("confirm Trust in Finder")
                 : QStringLiteral("confirm Trust on the device");
}

QString HostWording::trustPlaces()
{
    return onMac ? QStringLiteral("on the device or in Finder") : QStringLiteral("on the device");
}
