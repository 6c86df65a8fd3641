#pragma once

#include "widgets/WindowCommand.h"

#include <QKeySequence>
#include <QMainWindow>

class BusyIndicator;
class ElidedLabel;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The main window's layout: the header with the text size and scan buttons, the filters, the
// scan history row, the table, the status line and the footer. It holds no inventory; the
// application connects its controls.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // `table` goes between the history row and the status line.
    MainWindow(QWidget *table, bool demo);

    // What the Scan Device button offers: a scan, cancelling the running scan, or nothing while
    // the saved inventory loads. The busy indicator turns while it is not Idle.
    enum class ScanState { Idle, Scanning, Loading };
    void setScanState(ScanState state);
    // Cut, Copy, Paste and Select All, for whichever field or table has the keyboard focus in
    // any window, and Find, which goes to the search field.
    QList<WindowCommand> commands();
    // The keys of the window's commands, which the search field leaves to them.
    void setCommandKeys(const QList<QKeySequence> &keys) { m_commandKeys = keys; }
    void setStatus(const QString &text);
    QString status() const;
    // "the US App Store": where the footer says the shown categories came from; beside it how
    // many of the scan's apps have an update, when any has.
    void setStoreName(const QString &store, qsizetype updates = 0);
    // The facts of the device whose inventory is on screen, in one line; hidden when empty.
    // `warnings` ("2 warnings") goes on the button beside it that opens Device Details.
    void setDeviceLine(const QString &text, const QString &warnings = {});
    QString deviceLine() const;

    QPushButton *smallerText() const { return m_smallerText; }
    QPushButton *largerText() const { return m_largerText; }
    QPushButton *scanButton() const { return m_scan; }
    QPushButton *exportButton() const { return m_export; }
    QPushButton *exportSpreadsheetButton() const { return m_exportSpreadsheet; }
    QLineEdit *search() const { return m_search; }
    QComboBox *category() const { return m_category; }
    // "All apps", "Updates available"…: the choices of RowFilter.
    QComboBox *showChoice() const { return m_show; }
    QLabel *count() const { return m_count; }
    QComboBox *historyPicker() const { return m_historyPicker; }
    QPushButton *editSnapshotButton() const { return m_editSnapshot; }
    QPushButton *compareButton() const { return m_compare; }
    QPushButton *exportPDFButton() const { return m_exportPDF; }
    QPushButton *deviceDetailsButton() const { return m_deviceDetails; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLayout *buildHeader();
    QLayout *buildFilters();
    QLayout *buildHistoryRow();
    QLayout *buildStatusLine();

    QPushButton *m_smallerText = nullptr;
    QPushButton *m_largerText = nullptr;
    QPushButton *m_scan = nullptr;
    QPushButton *m_export = nullptr;
    QPushButton *m_exportSpreadsheet = nullptr;
    QLineEdit *m_search = nullptr;
    QComboBox *m_category = nullptr;
    QComboBox *m_show = nullptr;
    QLabel *m_count = nullptr;
    QComboBox *m_historyPicker = nullptr;
    QPushButton *m_editSnapshot = nullptr;
    QPushButton *m_compare = nullptr;
    QPushButton *m_exportPDF = nullptr;
    BusyIndicator *m_spinner = nullptr;
    ElidedLabel *m_status = nullptr;
    ElidedLabel *m_deviceLine = nullptr;
    QPushButton *m_deviceDetails = nullptr;
    QLabel *m_footer = nullptr;
    // The keys of the window's commands.
    QList<QKeySequence> m_commandKeys;
};
