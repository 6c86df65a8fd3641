#include "app/HelpSheets.h"

#include "common/HostWording.h"
#include "common/Locations.h"
#include "widgets/Sheet.h"

#include <QApplication>
#include <QFileInfo>
#include <QPushButton>
#include <QSettings>
#include <QUrl>

namespace {

const QString keyCompletedWelcome = QStringLiteral("completedWelcome");

} // namespace

void HelpSheets::showAbout(QWidget *window)
{
    QString version = QCoreApplication::applicationVersion();
    if (version.isEmpty())
        version = QStringLiteral("1.0");
    QMessageBox *about = Sheet::alert(
        window, QMessageBox::NoIcon, QStringLiteral("Quillet"),
        QStringLiteral("Version %1 \u2022 Marrowby\n\nYour iPhone and iPad app inventory, on %2."
                       "\nBrowse categories, compare storage sizes, and export a CSV, a "
                       "spreadsheet or a PDF.\n\n"
                       "https://marrowby.example/quillet\n\nIncludes open-source device tools. "
                       "License notices are available in Help.")
            .arg(version, HostWording::yourComputer()));
    about->setIconPixmap(QApplication::windowIcon().pixmap(64, 64));
    about->setStandardButtons(QMessageBox::Ok);
    about->open();
}

void HelpSheets::showHelp(QWidget *window)
{
    const QString path = Locations::resources() + QStringLiteral("/Help/index.html");
    if (!QFileInfo::exists(path)) {
        Sheet::alert(window, QMessageBox::Warning, QStringLiteral("Quillet Help is not available"),
                     // A path on a line of its own, so that it does not break after its first "/".
                     QStringLiteral("The help file is missing from this folder:\n\u201C%1\u201D\n"
                                    "Reinstall Quillet to restore it.")
                         .arg(QFileInfo(path).absolutePath()))
            ->open();
        return;
    }
    Sheet::openUrl(window, QUrl::fromLocalFile(path),
                   QStringLiteral("Quillet Help could not be opened"),
                   QStringLiteral("The help is the file"));
}

QList<WindowCommand> HelpSheets::commands(QWidget *window)
{
    using Group = WindowCommand::Group;
    return {
        {.group = Group::About,
         .title = QStringLiteral("About Quillet\u2026"),
         .run = [window] { showAbout(window); },
         .role = QAction::AboutRole},
        {.group = Group::Help,
         .title = QStringLiteral("Quillet Help"),
         .run = [window] { showHelpFromActiveWindow(window); },
         .standardKey = QKeySequence::HelpContents,
         .reach = WindowCommand::Reach::OverSheets},
        {.group = Group::Help,
         .title = QStringLiteral("Getting Started\u2026"),
         .run = [window] { showGettingStarted(window); }},
    };
}

void HelpSheets::showHelpFromActiveWindow(QWidget *window)
{
    QWidget *active = QApplication::activeWindow();
    showHelp(active ? active : window);
}

bool HelpSheets::welcomeCompleted()
{
    return QSettings().value(keyCompletedWelcome).toBool();
}

void HelpSheets::showGettingStarted(QWidget *window)
{
    QMessageBox *welcome = Sheet::alert(
        window, QMessageBox::NoIcon, QStringLiteral("Welcome to Quillet"),
        QStringLiteral(
            "1. Connect one iPhone or iPad with a USB data cable. Unlock it and approve Trust This "
            "Computer %1.\n\n2. Click Scan Device. Each successful scan is saved in Scan History, "
            "ready to browse while disconnected.\n\n3. Use Compare Scans to compare dates or "
            "devices. Export the displayed apps as CSV, a spreadsheet or a PDF "
            "report.\n\nInventories stay on "
            "%2. Category lookup sends app bundle identifiers to Apple.")
            .arg(HostWording::trustPlaces(), HostWording::thisComputer()));
    QPushButton *start = welcome->addButton(QStringLiteral("Get Started"), QMessageBox::AcceptRole);
    QPushButton *help = welcome->addButton(QStringLiteral("Read Help"), QMessageBox::HelpRole);
    welcome->setDefaultButton(start);
    QObject::connect(welcome, &QMessageBox::finished, welcome, [window, welcome, help] {
        QSettings().setValue(keyCompletedWelcome, true);
        if (welcome->clickedButton() == help)
            showHelp(window);
    });
    welcome->open();
}
