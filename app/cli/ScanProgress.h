#pragma once

#include <QString>
#include <QTextStream>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

class Scanner;

// What a command that works with devices shows while it works. On a terminal the scanner's
// progress is one line, rewritten as it goes; elsewhere each message is a line of its own.
// Ctrl-C and SIGTERM cancel the scanner: the handler only sets a flag, and a thread of ours
// calls cancel(), which stops the running tool at once.
class ScanProgress {
public:
    ScanProgress(Scanner &scanner, QTextStream &err);
    // For a command with scanners of its own to cancel: Ctrl-C and SIGTERM only set the flag
    // that interrupted() reads.
    explicit ScanProgress(QTextStream &err);
    ~ScanProgress();
    ScanProgress(const ScanProgress &) = delete;
    ScanProgress &operator=(const ScanProgress &) = delete;

    // Whether standard error is a terminal, where the progress line is rewritten.
    bool isLive() const { return m_live; }
    // Shows a progress message.
    void show(const QString &message);
    // Prints `line` for good on `stream`, clearing the progress line first.
    void say(QTextStream &stream, const QString &line);
    // Whether Ctrl-C or SIGTERM came.
    bool interrupted() const;
    // Waits for `duration` unless interrupted first; returns whether interrupted.
    bool pause(std::chrono::milliseconds duration) const;

private:
    QTextStream &m_err;
    bool m_live = false;
    // The canceller looks for a signal every 50 ms, and ends at once when the command does.
    std::mutex m_lock;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_canceller;
};
