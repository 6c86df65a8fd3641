#pragma once

#include "app/cli/Command.h"
#include "scanning/ConnectedDevice.h"

#include <QList>
#include <QStringList>

// quillet-cli devices: the connected devices' identifiers and names.
class Devices : public Command {
public:
    Devices();

protected:
    int execute(const QCommandLineParser &parser, Printer &printer) const override;

private:
    // The devices with these identifiers, in the same order.
    static QList<ConnectedDevice> describe(const QStringList &identifiers);
};
