#include "app/UpdateCommand.h"

#include "common/Locations.h"
#include "features/UpdateCheck.h"
#include "widgets/Sheet.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QUrl>

UpdateCommand::UpdateCommand(QWidget *window, std::function<void(const QString &)> setStatus,
                             QObject *parent)
    : QObject(parent), m_window(window), m_setStatus(std::move(setStatus))
{}

WindowCommand UpdateCommand::command()
{
    return {.group = WindowCommand::Group::Settings,
            .title = QStringLiteral("Check for Updates\u2026"),
            .run = [this] { run(); },
            .enabled = [this] { return !m_checking; },
            .role = QAction::ApplicationSpecificRole};
}

void UpdateCommand::run()
{
    if (m_checking)
        return;
    const std::optional<UpdateSettings> settings =
        UpdateSettings::read(Locations::resources() + QStringLiteral("/Updates.json"));
    if (!settings) {
        showMessage(QStringLiteral("Update settings unavailable"),
                    QStringLiteral("Visit %1 for current releases.")
                        .arg(QUrl(UpdateCheck::publisherWebsite).host()),
                    UpdateCheck::publisherWebsite);
        return;
    }
    const QString installed = QCoreApplication::applicationVersion();
    const QUrl feed(settings->feedURL.value_or(QString()), QUrl::StrictMode);
    if (!settings->feedURL || !feed.isValid() ||
        !settings->feedURL->startsWith(QStringLiteral("https:"))) {
        showMessage(QStringLiteral("Check the Marrowby website"),
                    QStringLiteral("Installed version: %1. Online version checking is not "
                                   "yet configured. Visit Marrowby for available releases.")
                        .arg(installed.isEmpty() ? QStringLiteral("Unknown") : installed),
                    settings->websiteURL);
        return;
    }
    m_checking = true;
    Q_EMIT checkingChanged();
    m_setStatus(QStringLiteral("Checking for updates\u2026"));
    const QString website = settings->websiteURL;
    const QString compared = installed.isEmpty() ? QStringLiteral("0") : installed;
    UpdateCheck::run(
        feed, website, compared, this,
        [this, website, compared](const UpdateCheck::Outcome &outcome) {
            m_checking = false;
            Q_EMIT checkingChanged();
            if (!outcome.release) {
                m_setStatus(QStringLiteral("Could not check for updates."));
                showMessage(QStringLiteral("Unable to check for updates"), outcome.error, website);
            } else if (outcome.newer) {
                const UpdateRelease &release = *outcome.release;
                m_setStatus(QStringLiteral("Quillet %1 is available.").arg(release.version));
                QString detail = QStringLiteral("Installed: %1.").arg(compared);
#ifdef Q_OS_MACOS
                // The feed states the macOS a release needs; it says nothing of other systems.
                detail += QStringLiteral(" Requires macOS %1 or later.").arg(release.minimumMacOS);
#endif
                showMessage(QStringLiteral("Quillet %1 is available").arg(release.version),
                            detail + QStringLiteral("\n\n") + release.notes, release.downloadURL);
            } else {
                m_setStatus(QStringLiteral("Quillet is up to date."));
                showMessage(QStringLiteral("You\u2019re up to date"),
                            QStringLiteral("You have Quillet %1.").arg(compared), QString());
            }
        });
}

void UpdateCommand::showMessage(const QString &title, const QString &detail, const QString &url)
{
    QMessageBox *message = Sheet::alert(m_window, QMessageBox::Information, title, detail);
    message->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    if (url.startsWith(QStringLiteral("https:"))) {
        QPushButton *visit =
            message->addButton(QStringLiteral("Visit Website"), QMessageBox::ActionRole);
        // The message closes first; an alert that no browser could open it follows.
        connect(visit, &QPushButton::clicked, this, [this, url] {
            QMetaObject::invokeMethod(
                this,
                [this, url] {
                    Sheet::openUrl(m_window, QUrl(url),
                                   QStringLiteral("The website could not be opened"),
                                   QStringLiteral("The address is"));
                },
                Qt::QueuedConnection);
        });
    }
    message->open();
}
