#pragma once

// What the benches measure of a run: wall time and peak resident memory.

#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

// Runs `arguments` and waits; the wall time in milliseconds and the peak resident size in MB.
// What it prints goes nowhere unless `speaks`. `waitStatus`, when given, receives how it ended.
inline std::pair<double, double> runMeasured(const QStringList &arguments, bool speaks = false,
                                             int *waitStatus = nullptr)
{
    std::fflush(stdout);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!speaks)
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    QList<QByteArray> bytes;
    for (const QString &argument : arguments)
        bytes.append(QFile::encodeName(argument));
    std::vector<char *> argv;
    for (QByteArray &argument : bytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    const int failed = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0)
        return {-1, -1};
    // The kernel starts a spawned child's peak at its parent's, so on Linux the child's own
    // peak is read from /proc while it runs; elsewhere the parent's size is counted in.
    int status = 0;
    rusage usage{};
    double peakMB = 0;
    const QString statusFile = QStringLiteral("/proc/%1/status").arg(pid);
    while (::wait4(pid, &status, WNOHANG, &usage) == 0) {
        QFile file(statusFile);
        if (file.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : file.readAll().split('\n')) {
                if (line.startsWith("VmHWM:"))
                    peakMB = std::max(peakMB,
                                      line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0);
            }
        }
        ::usleep(5000);
    }
    if (waitStatus)
        *waitStatus = status;
    const bool onProc = QFile::exists(QStringLiteral("/proc/self/status"));
    return {double(timer.nsecsElapsed()) / 1e6, onProc ? peakMB : double(usage.ru_maxrss) / 1024.0};
}

// Settings of their own for a window made next, its welcome already seen.
inline void useOwnSettings(const QTemporaryDir &settings)
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(settings.path()));
    QSettings().setValue(QStringLiteral("completedWelcome"), true);
}

inline double residentMB()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}
