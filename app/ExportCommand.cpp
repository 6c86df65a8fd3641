#include "app/ExportCommand.h"

#include "common/DataFile.h"
#include "common/Failure.h"
#include "common/Locations.h"
#include "reports/CsvExport.h"
#include "reports/ReportDocument.h"
#include "reports/SpreadsheetExport.h"
#include "scanning/Inventory.h"
#include "widgets/Sheet.h"

#include <QFileInfo>

ExportCommand::ExportCommand(QWidget *window, std::function<void(const QString &)> setStatus)
    : m_window(window), m_setStatus(std::move(setStatus))
{}

void ExportCommand::showError(const QString &description) const
{
    Sheet::alert(m_window, QMessageBox::Warning, description, QString())->open();
}

void ExportCommand::apps(const QString &suffix, const QString &filter,
                         const std::optional<QString> &deviceName, std::function<QList<Row>()> rows,
                         Writer write) const
{
    Sheet::askForSavePath(
        m_window, QStringLiteral("Export visible apps"),
        CsvExport::unusedPath(Locations::downloads(), Inventory::exportStem(deviceName), suffix),
        filter, [*this, rows, write](const QString &path) {
            const QList<Row> exported = rows();
            try {
                write(path, exported);
            } catch (const Failure &error) {
                showError(error.description());
                return;
            }
            m_setStatus(QStringLiteral("Exported %1 apps to %2.")
                            .arg(QString::number(exported.size()), QFileInfo(path).fileName()));
        });
}

void ExportCommand::csv(const QStringList &fields, std::function<QList<Row>()> rows,
                        const std::optional<QString> &deviceName) const
{
    apps(QStringLiteral(".csv"), QString(), deviceName, std::move(rows),
         [fields](const QString &path, const QList<Row> &exported) {
             DataFile::writeExport(
                 path, [&](const auto &write) { CsvExport::write(fields, exported, write); });
         });
}

void ExportCommand::spreadsheet(const Inventory &inventory, const QStringList &fields,
                                std::function<QList<Row>()> rows) const
{
    apps(QStringLiteral(".xlsx"), QStringLiteral("Spreadsheets (*.xlsx)"), inventory.deviceName,
         std::move(rows), [inventory, fields](const QString &path, const QList<Row> &exported) {
             SpreadsheetExport::inventory(path, inventory, fields, exported);
         });
}

void ExportCommand::report(const ReportDocument &report,
                           const std::optional<QString> &deviceName) const
{
    Sheet::askForSavePath(
        m_window, QStringLiteral("Export App Inventory Report"),
        Locations::downloads() + u'/' + Inventory::exportStem(deviceName) + QStringLiteral(".pdf"),
        QStringLiteral("PDF documents (*.pdf)"), [*this, report](const QString &path) {
            try {
                report.write(path);
            } catch (const Failure &error) {
                showError(error.description());
                return;
            }
            m_setStatus(QStringLiteral("Saved report to %1.").arg(QFileInfo(path).fileName()));
        });
}
