#include "app/AppDelegate.h"

#include "app/HelpSheets.h"
#include "app/MainWindow.h"
#include "app/StoreCountryCommand.h"
#include "widgets/CommandTable.h"
#include "widgets/Sheet.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>

AppDelegate::AppDelegate(QObject *parent) : QObject(parent), m_table(new InventoryTable(this)) {}

AppDelegate::~AppDelegate()
{
    // Scans still running are stopped before the window they report to goes.
    delete m_scans;
    delete m_window;
}

void AppDelegate::launch()
{
    m_window = new MainWindow(m_table->view(), m_demo);
    MainWindow *window = m_window;
    m_commands = new CommandTable(window);
    m_shown = new ShownInventory(window, m_table, this);
    m_scans = new ScanCommand(window, m_shown, m_demo, this);
    const auto busy = [scans = QPointer(m_scans)] { return scans && scans->isBusy(); };
    m_history = new ScanHistory(window, m_shown, busy, this);
    m_exports.emplace(window, m_shown, busy);
    m_details = new AppDetailsCommand(window, m_table, m_shown, busy, this);
    m_details->setCommands(m_commands);
    m_device = new DeviceSheetCommand(window, m_shown, busy, this);
    m_device->setCommands(m_commands);
    m_updates = new UpdateCommand(
        window, [window](const QString &text) { window->setStatus(text); }, this);
    m_storeCountry = new StoreCountryCommand(window, m_demo, this);
    m_identifiers = new PersonalIdentifiersCommand(window, this);

    connect(m_scans, &ScanCommand::historyChanged, m_history, &ScanHistory::refresh);
    connect(m_storeCountry, &StoreCountryCommand::chosen, m_shown, &ShownInventory::showStore);
    connect(m_shown, &ShownInventory::changed, this, &AppDelegate::refreshCommands);
    connect(m_scans, &ScanCommand::changed, this, &AppDelegate::refreshCommands);
    connect(m_history, &ScanHistory::changed, this, &AppDelegate::refreshCommands);
    connect(m_details, &AppDetailsCommand::changed, this, &AppDelegate::refreshCommands);
    connect(m_updates, &UpdateCommand::checkingChanged, this, &AppDelegate::refreshCommands);
    connect(m_identifiers, &PersonalIdentifiersCommand::changed, this,
            &AppDelegate::refreshCommands);
    connectTextSize();

    m_commands->add(HelpSheets::commands(window));
    m_commands->add({m_updates->command(), m_storeCountry->command(), m_identifiers->command()});
    m_commands->add(m_scans->commands());
    m_commands->add(m_exports->commands());
    m_commands->add({m_details->command(), m_device->command()});
    m_commands->add(m_history->commands());
    m_commands->add(commands());
    m_commands->add(window->commands());
    m_commands->buildMenuBar(window);
    window->setCommandKeys(m_commands->keys());

    window->show();
    window->raise();
    window->activateWindow();
    m_scans->load();
    if (!HelpSheets::welcomeCompleted())
        showGettingStarted();
}

QMainWindow *AppDelegate::window() const
{
    return m_window;
}

QList<WindowCommand> AppDelegate::commands()
{
    using Group = WindowCommand::Group;
    return {
        {.group = Group::Quit,
         .title = QStringLiteral("Quit Quillet"),
         .run = [this] { m_window->close(); },
         .standardKey = QKeySequence::Quit,
         .shortcut = QKeySequence(QStringLiteral("Ctrl+Q")),
         .role = QAction::QuitRole,
         .reach = WindowCommand::Reach::OverSheets},
        {.group = Group::Close,
         .title = QStringLiteral("Close Window"),
         .run =
             [] {
                 if (QWidget *active = QApplication::activeWindow())
                     active->close();
             },
         .standardKey = QKeySequence::Close,
         .shortcut = QKeySequence(QStringLiteral("Ctrl+W")),
         .reach = WindowCommand::Reach::OverSheets},
    };
}

void AppDelegate::refreshCommands()
{
    m_commands->refresh();
    // The picker is no command, but goes by the same state.
    m_window->historyPicker()->setEnabled(m_history->canPick());
}

void AppDelegate::connectTextSize()
{
    MainWindow *window = m_window;
    connect(window->smallerText(), &QPushButton::clicked, m_table, &InventoryTable::decreaseFont);
    connect(window->largerText(), &QPushButton::clicked, m_table, &InventoryTable::increaseFont);
    auto showFontSize = [window](double size) {
        window->smallerText()->setEnabled(size > smallestFontSize);
        window->largerText()->setEnabled(size < largestFontSize);
    };
    connect(m_table, &InventoryTable::fontSizeChanged, window, showFontSize);
    showFontSize(m_table->fontSize());
}

QMenu *AppDelegate::columnMenu(int column)
{
    return m_table->columnMenu(column, m_window);
}

bool AppDelegate::hasSheet() const
{
    return Sheet::isShowing(m_window);
}

void AppDelegate::showClickedAppDetails(const QModelIndex &index)
{
    m_details->show(index.isValid() ? index.row() : -1);
}

void AppDelegate::chooseStoreCountry()
{
    m_storeCountry->run();
}

void AppDelegate::showAbout()
{
    HelpSheets::showAbout(m_window);
}

void AppDelegate::showHelp()
{
    HelpSheets::showHelpFromActiveWindow(m_window);
}

void AppDelegate::showGettingStarted()
{
    HelpSheets::showGettingStarted(m_window);
}
