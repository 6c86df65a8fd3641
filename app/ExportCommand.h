#pragma once

#include "scanning/Row.h"
#include "widgets/WindowCommand.h"

#include <QList>
#include <QPointer>
#include <QString>

#include <functional>

class MainWindow;
class ShownInventory;

// Export CSV, Export Spreadsheet and Export PDF Report of the apps the table shows: the save
// panel on the window, the file, and the status line or an alert on what became of it. What is
// exported is what the table shows when the panel closes.
class ExportCommand {
public:
    ExportCommand(MainWindow *window, const ShownInventory *shown, std::function<bool()> busy);

    QList<WindowCommand> commands() const;
    // Each does nothing while its command is off.
    void csv() const;
    // The visible apps as a workbook, with a sheet about the shown scan.
    void spreadsheet() const;
    void report() const;
    // Some apps are visible and no scan is under way.
    bool canExport() const;

private:
    using Writer = std::function<void(const QString &path, const QList<Row> &rows)>;
    void apps(const QString &suffix, const QString &filter, Writer write) const;
    void showError(const QString &description) const;
    void setStatus(const QString &text) const;

    QPointer<MainWindow> m_window;
    const ShownInventory *m_shown = nullptr;
    std::function<bool()> m_busy;
};
