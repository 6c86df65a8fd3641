#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>

#include <optional>

// The options both front ends take: other data and resource folders, another store lookup
// service, or the demo device.
class LaunchOptions {
public:
    static QList<QCommandLineOption> options();

    // Points Quillet where the options say. Returns the usage error when they cannot be used
    // together. The demo is the front end's to prepare (DemoDevice::prepare()) when isDemo().
    static std::optional<QString> apply(const QCommandLineParser &parser);
    static bool isDemo(const QCommandLineParser &parser);

    LaunchOptions() = delete;
};
