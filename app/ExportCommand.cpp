#include "app/ExportCommand.h"

#include "app/MainWindow.h"
#include "app/ShownInventory.h"
#include "common/DataFile.h"
#include "common/Failure.h"
#include "common/Locations.h"
#include "common/Plural.h"
#include "reports/CsvExport.h"
#include "reports/ReportDocument.h"
#include "reports/SpreadsheetExport.h"
#include "scanning/Inventory.h"
#include "widgets/Sheet.h"

#include <QFileInfo>
#include <QPushButton>

ExportCommand::ExportCommand(MainWindow *window, const ShownInventory *shown,
                             std::function<bool()> busy)
    : m_window(window), m_shown(shown), m_busy(std::move(busy))
{}

QList<WindowCommand> ExportCommand::commands() const
{
    using Group = WindowCommand::Group;
    auto key = [](const char *text) { return QKeySequence(QLatin1StringView(text)); };
    const auto enabled = [*this] { return canExport(); };
    return {
        {.group = Group::Export,
         .title = QStringLiteral("Export CSV\u2026"),
         .run = [*this] { csv(); },
         .shortcut = key("Ctrl+E"),
         .enabled = enabled,
         .buttons = {m_window->exportButton()}},
        {.group = Group::Export,
         .title = QStringLiteral("Export Spreadsheet\u2026"),
         .run = [*this] { spreadsheet(); },
         .shortcut = key("Ctrl+Shift+E"),
         .enabled = enabled,
         .buttons = {m_window->exportSpreadsheetButton()}},
        {.group = Group::Export,
         .title = QStringLiteral("Export PDF Report\u2026"),
         .run = [*this] { report(); },
         .shortcut = key("Ctrl+P"),
         .enabled = enabled,
         .buttons = {m_window->exportPDFButton()}},
    };
}

bool ExportCommand::canExport() const
{
    return m_window && !m_busy() && m_shown->hasVisibleRows();
}

void ExportCommand::showError(const QString &description) const
{
    Sheet::alert(m_window, QMessageBox::Warning, description, QString())->open();
}

void ExportCommand::setStatus(const QString &text) const
{
    if (m_window)
        m_window->setStatus(text);
}

void ExportCommand::apps(const QString &suffix, const QString &filter, Writer write) const
{
    const QString stem = Inventory::exportStem(m_shown->deviceName());
    Sheet::askForSavePath(
        m_window, QStringLiteral("Export visible apps"),
        CsvExport::unusedPath(Locations::downloads(), stem, suffix), filter,
        [*this, write](const QString &path) {
            const QList<Row> exported = m_shown->visibleRows();
            try {
                write(path, exported);
            } catch (const Failure &error) {
                showError(error.description());
                return;
            }
            setStatus(QStringLiteral("Exported %1 to %2.")
                          .arg(Plural::apps(exported.size()), QFileInfo(path).fileName()));
        });
}

void ExportCommand::csv() const
{
    if (!canExport())
        return;
    apps(QStringLiteral(".csv"), QString(),
         [fields = m_shown->fields()](const QString &path, const QList<Row> &exported) {
             DataFile::writeExport(
                 path, [&](const auto &write) { CsvExport::write(fields, exported, write); });
         });
}

void ExportCommand::spreadsheet() const
{
    if (!canExport())
        return;
    apps(QStringLiteral(".xlsx"), QStringLiteral("Spreadsheets (*.xlsx)"),
         [inventory = m_shown->current(),
          filter = m_shown->filterDescription()](const QString &path, const QList<Row> &exported) {
             SpreadsheetExport::inventory(path, inventory, inventory.fields, exported, filter);
         });
}

void ExportCommand::report() const
{
    if (!canExport())
        return;
    const ReportDocument report = ReportDocument::inventory(
        m_shown->current(), m_shown->visibleRows(), m_shown->filterDescription());
    Sheet::askForSavePath(
        m_window, QStringLiteral("Export App Inventory Report"),
        Locations::downloads() + u'/' + Inventory::exportStem(m_shown->deviceName()) +
            QStringLiteral(".pdf"),
        QStringLiteral("PDF documents (*.pdf)"), [*this, report](const QString &path) {
            try {
                report.write(path);
            } catch (const Failure &error) {
                showError(error.description());
                return;
            }
            setStatus(QStringLiteral("Saved report to %1.").arg(QFileInfo(path).fileName()));
        });
}
