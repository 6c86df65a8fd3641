#include "widgets/UrlOpener.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>

UrlOpener::UrlOpener(QWidget *window, std::function<void()> failed)
    : QObject(window), m_failed(std::move(failed))
{}

void UrlOpener::open(QWidget *window, const QUrl &url, std::function<void()> failed)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (!opener.isEmpty()) {
        auto *watch = new UrlOpener(window, std::move(failed));
        auto *process = new QProcess(watch);
        process->setProgram(opener);
        process->setArguments({url.toString(QUrl::FullyEncoded)});
        // Its output is of no use to anyone; a browser it starts keeps running after it.
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
        connect(process, &QProcess::finished, watch,
                [watch](int status, QProcess::ExitStatus exit) {
                    if (status != 0 || exit != QProcess::NormalExit)
                        watch->m_failed();
                    watch->deleteLater();
                });
        connect(process, &QProcess::errorOccurred, watch, [watch](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart)
                return;
            watch->m_failed();
            watch->deleteLater();
        });
        process->start();
        return;
    }
#endif
    if (!QDesktopServices::openUrl(url))
        failed();
}
