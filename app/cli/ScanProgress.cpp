#include "app/cli/ScanProgress.h"

#include "common/PlainText.h"
#include "scanning/Scanner.h"

#include <csignal>

#include <unistd.h>

using namespace std::chrono_literals;

namespace {

std::atomic<bool> signalled = false;

void onInterrupt(int)
{
    signalled = true;
}

} // namespace

ScanProgress::ScanProgress(QTextStream &err) : m_err(err), m_live(isatty(STDERR_FILENO))
{
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

ScanProgress::ScanProgress(Scanner &scanner, QTextStream &err) : ScanProgress(err)
{
    scanner.setProgress([this](const QString &message) { show(message); });
    m_canceller = std::thread([this, &scanner] {
        std::unique_lock guard(m_lock);
        while (!m_done.wait_for(guard, 50ms, [this] { return m_finished; })) {
            if (signalled) {
                scanner.cancel();
                return;
            }
        }
    });
}

ScanProgress::~ScanProgress()
{
    {
        std::lock_guard guard(m_lock);
        m_finished = true;
    }
    m_done.notify_all();
    if (m_canceller.joinable())
        m_canceller.join();
}

void ScanProgress::show(const QString &message)
{
    m_err << (m_live ? QStringLiteral("\r\x1b[K") + PlainText::printable(message, true)
                     : PlainText::printable(message) + u'\n');
    m_err.flush();
}

void ScanProgress::say(QTextStream &stream, const QString &line)
{
    if (m_live)
        m_err << "\r\x1b[K";
    m_err.flush();
    stream << PlainText::printable(line) << "\n";
    stream.flush();
}

bool ScanProgress::interrupted() const
{
    return signalled;
}

bool ScanProgress::pause(std::chrono::milliseconds duration) const
{
    const auto until = std::chrono::steady_clock::now() + duration;
    while (!signalled && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(50ms);
    return signalled;
}
