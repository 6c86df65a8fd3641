#pragma once

#include "history/SavedScan.h"
#include "history/ScanComparison.h"

#include <QHash>
#include <QWidget>

#include <optional>

class CommandTable;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QStandardItemModel;
class QTableView;

// Two saved scans side by side: A the baseline, B the comparison. Shows every app's difference
// from A to B, can hide the unchanged ones, swap A and B, and export what it shows as a PDF.
class ComparisonWindow : public QWidget {
    Q_OBJECT

public:
    // The column titles, in order.
    static const QStringList keys;

    explicit ComparisonWindow(const QList<SavedScan> &scans, QWidget *parent = nullptr);

    // A new list of scans, keeping the chosen A and B when they are still in it.
    void updateScans(const QList<SavedScan> &scans);

    const QList<ScanDifference> &results() const { return m_results; }
    const std::optional<ScanComparison> &comparison() const { return m_comparison; }
    QString summaryText() const;

public Q_SLOTS:
    void refresh();
    void swapScans();
    void exportPDF();
    void exportSpreadsheet();

private:
    // Its commands: the buttons, and their keys while the window is active.
    void addCommands(QPushButton *swap);
    bool selection(int &a, int &b) const;
    void filterChanges();
    void fillPopUps();
    void showResults();

    QList<SavedScan> m_scans;
    // The whole inventories of the two scans compared, by identity and file.
    QHash<QString, Inventory> m_loaded;
    QComboBox *m_first = nullptr;
    QComboBox *m_second = nullptr;
    QCheckBox *m_changesOnly = nullptr;
    QPushButton *m_export = nullptr;
    QPushButton *m_exportSpreadsheet = nullptr;
    QLabel *m_summary = nullptr;
    QTableView *m_table = nullptr;
    QStandardItemModel *m_model = nullptr;
    QList<ScanDifference> m_results;
    std::optional<ScanComparison> m_comparison;
    CommandTable *m_commands = nullptr;
};
