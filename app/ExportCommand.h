#pragma once

#include "scanning/Row.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <optional>

struct Inventory;
struct ReportDocument;

// Export CSV, Export Spreadsheet and Export PDF Report: the save panel on the window, the file,
// and the status line or an alert on what became of it.
class ExportCommand {
public:
    ExportCommand(QWidget *window, std::function<void(const QString &)> setStatus);

    // The apps of `rows()`, asked for when the panel closes: what is exported is what the table
    // shows then. The file is named after `deviceName`.
    void csv(const QStringList &fields, std::function<QList<Row>()> rows,
             const std::optional<QString> &deviceName) const;
    // The same apps as a workbook, with a sheet about `inventory`'s scan and `filter`.
    void spreadsheet(const Inventory &inventory, const QStringList &fields,
                     std::function<QList<Row>()> rows, const QString &filter) const;
    void report(const ReportDocument &report, const std::optional<QString> &deviceName) const;

private:
    using Writer = std::function<void(const QString &path, const QList<Row> &rows)>;
    void apps(const QString &suffix, const QString &filter,
              const std::optional<QString> &deviceName, std::function<QList<Row>()> rows,
              Writer write) const;
    void showError(const QString &description) const;

    QPointer<QWidget> m_window;
    std::function<void(const QString &)> m_setStatus;
};
