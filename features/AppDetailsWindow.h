#pragma once

#include "scanning/Inventory.h"

#include <QDialog>

class QLabel;

// Everything the displayed scan knows about one app, as a sheet on the main window, with its
// store icon and a button that copies the details as text.
class AppDetailsWindow : public QDialog {
    Q_OBJECT

public:
    AppDetailsWindow(const Row &row, const Inventory &inventory, QWidget *window);

    const QString &detailsText() const { return m_detailsText; }
    // The row's text for `column`, trimmed, or "Not available".
    static QString value(const Row &row, const QString &column);
    static QString detailsText(const Row &row, const Inventory &inventory);

private:
    QString m_detailsText;
    QLabel *m_icon = nullptr;
};
