#pragma once

#include <QDialog>

class QComboBox;

// The sheet in which the user chooses the App Store country that categories, store versions
// and icons come from.
class StoreCountrySheet : public QDialog {
    Q_OBJECT

public:
    StoreCountrySheet(const QString &current, QWidget *window);

    // The chosen country's lower-case two-letter code.
    QString country() const;

private:
    QComboBox *m_countries = nullptr;
};
