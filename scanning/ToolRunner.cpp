#include "scanning/ToolRunner.h"

#include "common/DataFile.h"
#include "common/PlatformError.h"
#include "scanning/ScanError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <cerrno>
#include <csignal>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

const QString timedOutMessage = QStringLiteral(
    "The device did not respond within three minutes. Unlock it, check the cable and Trust "
    "setting, then try again.");
const QString connectionFailedMessage =
    QStringLiteral("Device connection failed. Unlock your device and confirm Trust in Finder.");

QString quoted(const QString &text)
{
    return QChar(0x201C) + text + QChar(0x201D);
}

// The per-run folder holding the tool's output files; it never outlives runTool.
class OutputFolder {
public:
    OutputFolder()
        : m_path(QDir::tempPath() + u'/' +
                 QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper())
    {
        DataFile::makeFolder(m_path);
    }
    ~OutputFolder()
    {
        for (int fd : m_descriptors)
            ::close(fd);
        QDir(m_path).removeRecursively();
    }
    OutputFolder(const OutputFolder &) = delete;
    OutputFolder &operator=(const OutputFolder &) = delete;

    QString filePath(const QString &name) const { return m_path + u'/' + name; }

    int create(const QString &name)
    {
        const QString path = filePath(name);
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0)
            throw PlatformError::cannotSave(path, PlatformError::reasonForErrno(errno));
        m_descriptors.push_back(fd);
        return fd;
    }

private:
    QString m_path;
    std::vector<int> m_descriptors;
};

class SpawnSettings {
public:
    SpawnSettings(int out, int err)
    {
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);
        posix_spawnattr_init(&attributes);
        // The tool starts with default signal handling whatever this thread blocks, and in a
        // process group of its own so that stopping it also stops anything it started.
        sigset_t none;
        sigemptyset(&none);
        sigset_t all;
        sigfillset(&all);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setsigdefault(&attributes, &all);
        posix_spawnattr_setpgroup(&attributes, 0);
        posix_spawnattr_setflags(
            &attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    }
    ~SpawnSettings()
    {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSettings(const SpawnSettings &) = delete;
    SpawnSettings &operator=(const SpawnSettings &) = delete;

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
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

int reap(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    return status;
}

qint64 fileSize(int fd)
{
    struct stat info {};
    return ::fstat(fd, &info) == 0 ? qint64(info.st_size) : 0;
}

} // namespace

ToolRunner::ToolRunner(QString resources) : m_resources(std::move(resources)) {}

void ToolRunner::cancel()
{
    // Signalled under the lock: the runner reaps only after clearing m_child under this same
    // lock, so the pid cannot have been reused by the time kill() runs.
    std::lock_guard guard(m_lock);
    m_stopped = true;
    if (m_child)
        ::kill(-*m_child, SIGTERM);
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

QByteArray ToolRunner::run(const QString &name, const QStringList &arguments)
{
    checkCancellation();

    const QString executable = m_resources + QStringLiteral("/Tools/") + name;
    OutputFolder folder;
    const int out = folder.create(QStringLiteral("stdout"));
    const int err = folder.create(QStringLiteral("stderr"));

    QList<QByteArray> argv{QFile::encodeName(executable)};
    for (const QString &argument : arguments)
        argv.append(argument.toUtf8());
    CStringList argumentList(argv);
    CStringList environment({QByteArrayLiteral("PATH=/usr/bin:/bin"),
                             QByteArrayLiteral("HOME=") + QFile::encodeName(QDir::homePath()),
                             QByteArrayLiteral("LANG=en_US.UTF-8")});
    SpawnSettings settings(out, err);

    pid_t pid = 0;
    const int spawnError =
        ::posix_spawn(&pid, argv.first().constData(), &settings.actions, &settings.attributes,
                      argumentList.data(), environment.data());
    if (spawnError != 0) {
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
        m_child = pid;
    }

    enum class Outcome { Exited, Stopped, TimedOut, Flooded };
    Outcome outcome = Outcome::Exited;
    const auto deadline = std::chrono::steady_clock::now() + m_timeLimit;
    while (!hasExited(pid)) {
        if (isCancelled()) {
            outcome = Outcome::Stopped;
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            outcome = Outcome::TimedOut;
            break;
        }
        if (fileSize(out) > m_outputLimit || fileSize(err) > m_outputLimit) {
            outcome = Outcome::Flooded;
            break;
        }
        std::this_thread::sleep_for(100ms);
    }
    if (outcome != Outcome::Exited) {
        ::kill(-pid, SIGTERM);
        std::this_thread::sleep_for(200ms);
    }
    // Whatever is left of the tool, and anything it started, goes now. The tool is not reaped
    // yet, so its process group id cannot belong to anyone else.
    ::kill(-pid, SIGKILL);
    waitForExit(pid);
    {
        std::lock_guard guard(m_lock);
        m_child.reset();
    }
    const int status = reap(pid);

    // Between two looks the tool may have printed past the limit and exited.
    if (outcome == Outcome::Exited &&
        (fileSize(out) > m_outputLimit || fileSize(err) > m_outputLimit))
        outcome = Outcome::Flooded;

    checkCancellation();
    if (outcome == Outcome::TimedOut)
        throw ScanError(timedOutMessage);
    if (outcome == Outcome::Flooded)
        throw ScanError(QStringLiteral("The device tool %1 printed far more than any device "
                                       "list could hold and was stopped. Previous inventory "
                                       "preserved.")
                            .arg(quoted(name)));

    QByteArray output = DataFile::read(folder.filePath(QStringLiteral("stdout")), m_outputLimit);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return output;

    QString errorText;
    try {
        // Decoded leniently: one stray byte must not hide the tool's explanation.
        errorText = QString::fromUtf8(
                        DataFile::read(folder.filePath(QStringLiteral("stderr")), m_outputLimit))
                        .trimmed();
    } catch (const PlatformError &) {}
    throw ScanError(errorText.isEmpty() ? connectionFailedMessage : errorText);
}
