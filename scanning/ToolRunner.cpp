#include "scanning/ToolRunner.h"

#include "common/HostWording.h"
#include "common/PlatformError.h"
#include "scanning/ScanError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

const QString timedOutMessage = QStringLiteral(
    "The device did not respond within three minutes. Unlock it, check the cable and Trust "
    "setting, then try again.");
QString connectionFailedMessage()
{
    return QStringLiteral("Device connection failed. Unlock your device and %1.")
        .arg(HostWording::confirmTrust());
}

QString quoted(const QString &text)
{
    return QChar(0x201C) + text + QChar(0x201D);
}

// One of the tool's output streams. It is read as it fills, so a tool that floods it is held
// at the limit by the full pipe instead of filling a disk or memory before it is noticed.
class OutputPipe {
public:
    explicit OutputPipe(const QString &tool)
    {
        // Not inherited by the tool except through the dup2 onto its stdout or stderr, nor by a
        // tool another thread starts meanwhile.
        if (::pipe2(m_ends, O_CLOEXEC) != 0)
            throw PlatformError(PlatformError::Kind::Launch,
                                QStringLiteral("The device tool %1 could not be started: %2.")
                                    .arg(quoted(tool), PlatformError::reasonForErrno(errno)));
        ::fcntl(m_ends[0], F_SETFL, ::fcntl(m_ends[0], F_GETFL) | O_NONBLOCK);
    }
    ~OutputPipe()
    {
        for (int end : m_ends) {
            if (end >= 0)
                ::close(end);
        }
    }
    OutputPipe(const OutputPipe &) = delete;
    OutputPipe &operator=(const OutputPipe &) = delete;

    int readEnd() const { return m_ends[0]; }
    int writeEnd() const { return m_ends[1]; }
    // The tool holds its own copy; ours would keep the pipe from ever reaching its end.
    void closeWriteEnd()
    {
        ::close(m_ends[1]);
        m_ends[1] = -1;
    }
    bool isOpen() const { return m_ends[0] >= 0; }

    // Reads what the pipe holds now, stopping once more than `limit` bytes were read in all.
    // Returns false when that limit was passed.
    bool drain(qint64 limit)
    {
        char buffer[32768];
        while (isOpen() && data.size() <= limit) {
            const ssize_t got = ::read(m_ends[0], buffer, sizeof buffer);
            if (got > 0) {
                data.append(buffer, qsizetype(got));
                continue;
            }
            if (got < 0 && errno == EINTR)
                continue;
            if (got == 0 || errno != EAGAIN) { // the end, or an error that will not pass
                ::close(m_ends[0]);
                m_ends[0] = -1;
            }
            break;
        }
        return data.size() <= limit;
    }

    QByteArray data;

private:
    int m_ends[2] = {-1, -1};
};

// A null-terminated vector of C strings over owned bytes.
class CStringList {
public:
    explicit CStringList(const QList<QByteArray> &items) : m_items(items)
    {
        for (QByteArray &item : m_items)
            m_pointers.push_back(item.data());
        m_pointers.push_back(nullptr);
    }
    char *const *data() { return m_pointers.data(); }

private:
    QList<QByteArray> m_items;
    std::vector<char *> m_pointers;
};

// Whether the child has exited, without reaping it: its pid stays ours until we reap.
bool hasExited(pid_t pid)
{
    siginfo_t info{};
    while (::waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) < 0) {
        if (errno != EINTR)
            return true;
    }
    return info.si_pid == pid;
}

void waitForExit(pid_t pid)
{
    siginfo_t info{};
    while (::waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {}
}

// The child's exit status and the most memory it, or a process it waited for, held at once.
std::pair<int, qint64> reap(pid_t pid)
{
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {}
#ifdef Q_OS_MACOS
    return {status, qint64(usage.ru_maxrss)};
#else
    return {status, qint64(usage.ru_maxrss) * 1024};
#endif
}

// Starts `argv` with `environment`, its standard input empty and its output in `out` and `err`,
// in a process group of its own (so that stopping it stops all it started), with default signal
// handling and at most `memoryLimit` bytes of address space (none when 0). Returns the pid, or
// an errno value as a negative number.
pid_t launch(char *const *argv, char *const *environment, int out, int err, qint64 memoryLimit)
{
    // The child says through this pipe why exec failed; it closes unread when exec succeeds.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return -errno;
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Between fork and exec only async-signal-safe calls: other threads' locks stayed behind.
        ::setpgid(0, 0);
        struct sigaction byDefault {};
        byDefault.sa_handler = SIG_DFL;
        for (int signal = 1; signal < NSIG; ++signal)
            ::sigaction(signal, &byDefault, nullptr);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        const int input = ::open("/dev/null", O_RDONLY);
        if (input < 0 || ::dup2(input, STDIN_FILENO) < 0 || ::dup2(out, STDOUT_FILENO) < 0 ||
            ::dup2(err, STDERR_FILENO) < 0) {
            const int error = errno;
            [[maybe_unused]] const ssize_t said = ::write(report[1], &error, sizeof error);
            ::_exit(127);
        }
        if (memoryLimit > 0) {
            const rlimit limit{rlim_t(memoryLimit), rlim_t(memoryLimit)};
            ::setrlimit(RLIMIT_AS, &limit);
        }
        ::execve(argv[0], argv, environment);
        const int error = errno;
        [[maybe_unused]] const ssize_t said = ::write(report[1], &error, sizeof error);
        ::_exit(127);
    }
    const int forkError = errno;
    ::close(report[1]);
    if (pid < 0) {
        ::close(report[0]);
        return -forkError;
    }
    // Also here, so that no signal to the group can come before the child has made it.
    ::setpgid(pid, pid);
    int error = 0;
    ssize_t got = 0;
    while ((got = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {}
    ::close(report[0]);
    if (got == ssize_t(sizeof error)) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
        return -error;
    }
    return pid;
}

// Waits up to `timeout` for output on the open pipes. Once both are closed there is nothing to
// wait on but the exit, which usually follows at once: `closed` is waited, and then doubled up to
// `timeout`, so that a tool costs no more than a millisecond or two past its end.
void waitForOutput(OutputPipe &out, OutputPipe &err, std::chrono::milliseconds timeout,
                   std::chrono::milliseconds &closed)
{
    pollfd fds[2];
    nfds_t count = 0;
    for (const OutputPipe *pipe : {&out, &err}) {
        if (pipe->isOpen())
            fds[count++] = {pipe->readEnd(), POLLIN, 0};
    }
    if (count == 0) {
        std::this_thread::sleep_for(closed);
        closed = std::min(closed * 2, timeout);
    } else {
        ::poll(fds, count, int(timeout.count()));
    }
}

} // namespace

ToolRunner::ToolRunner(QString resources) : m_resources(std::move(resources)) {}

void ToolRunner::cancel()
{
    // Signalled under the lock: a run reaps its child only after taking it out of m_children
    // under this same lock, so no pid can have been reused by the time kill() runs.
    std::lock_guard guard(m_lock);
    m_stopped = true;
    for (const pid_t child : m_children)
        ::kill(-child, SIGTERM);
}

bool ToolRunner::isCancelled() const
{
    std::lock_guard guard(m_lock);
    return m_stopped;
}

void ToolRunner::checkCancellation() const
{
    if (isCancelled())
        throw ScanError::cancelled();
}

QByteArray ToolRunner::run(const QString &name, const QStringList &arguments,
                           std::optional<std::chrono::milliseconds> timeLimit, std::stop_token stop)
{
    checkCancellation();
    if (stop.stop_requested())
        throw ScanError::cancelled();

    const QString executable = m_resources + QStringLiteral("/Tools/") + name;
    OutputPipe out(name);
    OutputPipe err(name);

    QList<QByteArray> argv{QFile::encodeName(executable)};
    for (const QString &argument : arguments)
        argv.append(argument.toUtf8());
    CStringList argumentList(argv);
    QList<QByteArray> variables{QByteArrayLiteral("PATH=/usr/bin:/bin"),
                                QByteArrayLiteral("HOME=") + QFile::encodeName(QDir::homePath()),
                                QByteArrayLiteral("LANG=en_US.UTF-8")};
    // Where usbmuxd listens when it is not the system's own (a container, WSL, another machine).
    if (const QByteArray address = qgetenv("USBMUXD_SOCKET_ADDRESS"); !address.isEmpty())
        variables.append("USBMUXD_SOCKET_ADDRESS=" + address);
    CStringList environment(variables);

    const pid_t pid = launch(argumentList.data(), environment.data(), out.writeEnd(),
                             err.writeEnd(), m_memoryLimit);
    if (pid < 0) {
        const int spawnError = -pid;
        QString reason;
        if (spawnError == ENOENT && !QFileInfo::exists(executable))
            reason = QStringLiteral("it is not in the folder %1")
                         .arg(quoted(QFileInfo(executable).absolutePath()));
        else if (spawnError == ENOENT)
            reason = QStringLiteral("a program it needs is missing");
        else if (spawnError == EACCES)
            reason = QStringLiteral("it is not an executable program");
        else
            reason = PlatformError::reasonForErrno(spawnError);
        throw PlatformError(PlatformError::Kind::Launch,
                            QStringLiteral("The device tool %1 could not be started: %2.")
                                .arg(quoted(name), reason));
    }
    {
        std::lock_guard guard(m_lock);
        m_children.insert(pid);
    }
    out.closeWriteEnd();
    err.closeWriteEnd();

    enum class Outcome { Exited, Stopped, TimedOut, Flooded };
    Outcome outcome = Outcome::Exited;
    const auto deadline = std::chrono::steady_clock::now() + timeLimit.value_or(m_timeLimit);
    std::chrono::milliseconds closed = 1ms;
    while (!hasExited(pid)) {
        if (!out.drain(m_outputLimit) || !err.drain(m_outputLimit)) {
            outcome = Outcome::Flooded;
            break;
        }
        if (isCancelled() || stop.stop_requested()) {
            outcome = Outcome::Stopped;
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            outcome = Outcome::TimedOut;
            break;
        }
        waitForOutput(out, err, 100ms, closed);
    }
    if (outcome != Outcome::Exited) {
        // A grace period to end on its own, cut short when it does.
        ::kill(-pid, SIGTERM);
        for (int waited = 0; waited < 200 && !hasExited(pid); waited += 5)
            std::this_thread::sleep_for(5ms);
    }
    // Whatever is left of the tool, and anything it started, goes now. The tool is not reaped
    // yet, so its process group id cannot belong to anyone else.
    ::kill(-pid, SIGKILL);
    waitForExit(pid);
    {
        std::lock_guard guard(m_lock);
        m_children.erase(pid);
    }
    const auto [status, memoryUsed] = reap(pid);
    // What the tool wrote before it exited is still in the pipes.
    if (outcome == Outcome::Exited && (!out.drain(m_outputLimit) || !err.drain(m_outputLimit)))
        outcome = Outcome::Flooded;

    checkCancellation();
    if (outcome == Outcome::Stopped)
        throw ScanError::cancelled();
    if (outcome == Outcome::TimedOut)
        throw ScanError(timedOutMessage);
    if (outcome == Outcome::Flooded)
        throw ScanError(QStringLiteral("The device tool %1 printed far more than any device "
                                       "list could hold and was stopped. Previous inventory "
                                       "preserved.")
                            .arg(quoted(name)));

    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return out.data;
    // Failing near its limit, it was the limit that stopped it: whatever it says then is about
    // an allocation, not the device.
    if (m_memoryLimit > 0 && memoryUsed >= m_memoryLimit / 2)
        throw ScanError(QStringLiteral("The device\u2019s answer was too large: the device tool %1 "
                                       "reached its memory limit of %2 MB reading it and was "
                                       "stopped. Previous inventory preserved.")
                            .arg(quoted(name), QString::number(m_memoryLimit / 1'000'000)));

    // Decoded leniently: one stray byte must not hide the tool's explanation.
    const QString errorText = QString::fromUtf8(err.data).trimmed();
    throw ScanError(errorText.isEmpty() ? connectionFailedMessage() : errorText,
                    WIFEXITED(status) && WEXITSTATUS(status) == awaitingUserStatus
                        ? ScanError::Kind::AwaitingUser
                        : ScanError::Kind::Failed);
}
