#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <mutex>
#include <optional>
#include <set>
#include <stop_token>

#include <sys/types.h>

// Runs the device tools of one scan as child processes, with a time limit and an output limit,
// and stops every running one at once when cancelled from any thread. Tools may run side by side
// on different threads. A cancelled runner stays cancelled and starts nothing more.
class ToolRunner {
public:
    // Runs the programs in `resources`/Tools.
    explicit ToolRunner(QString resources);
    ToolRunner(const ToolRunner &) = delete;
    ToolRunner &operator=(const ToolRunner &) = delete;

    // The device gets three minutes per tool. Tests shorten it.
    void setTimeLimit(std::chrono::milliseconds limit) { m_timeLimit = limit; }
    // Output past this size means a broken or hostile tool, not a device: a listing of 2,000
    // apps is about 1 MB. The tool is stopped as soon as it passes the limit.
    void setOutputLimit(qint64 bytes) { m_outputLimit = bytes; }
    // The address space each tool gets, set in the child before it starts: a hostile answer
    // that a tool builds without bound stops the tool, not the machine. 0 for none.
    void setMemoryLimit(qint64 bytes) { m_memoryLimit = bytes; }
    static constexpr qint64 defaultMemoryLimit = 1'000'000'000;

    // The launcher's exit status when the device is locked or its Trust prompt waits.
    static constexpr int awaitingUserStatus = 75;

    // Runs Tools/`name` and returns what it printed on standard output. Throws ScanError with
    // the tool's own explanation when it fails (ScanError::awaitsUser() when the device waits for
    // its user), and PlatformError when it cannot be started.
    // `timeLimit`, when given, replaces the runner's own for this tool. A stop requested through
    // `stop` stops this tool alone, as a cancel would, and throws the cancellation ScanError.
    QByteArray run(const QString &name, const QStringList &arguments,
                   std::optional<std::chrono::milliseconds> timeLimit = std::nullopt,
                   std::stop_token stop = {});

    // Stops the running tools and every later step. Never blocks behind a tool.
    void cancel();
    bool isCancelled() const;
    // Throws the cancellation ScanError once cancel() was called.
    void checkCancellation() const;

private:
    QString m_resources;
    // Guards m_stopped and m_children, and is held for nothing slower than a kill().
    mutable std::mutex m_lock;
    bool m_stopped = false;
    std::set<pid_t> m_children;
    std::chrono::milliseconds m_timeLimit = std::chrono::seconds(180);
    qint64 m_outputLimit = qint64(64) * 1024 * 1024;
    qint64 m_memoryLimit = defaultMemoryLimit;
};
