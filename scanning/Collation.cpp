#include "scanning/Collation.h"

#include <QLocale>

QCollator Collation::finderOrder()
{
    QLocale locale = QLocale::system();
    // ICU ignores numeric ordering in the C locale, which is what a machine without a locale
    // (a CI runner, a bare service account) reports.
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}
