#pragma once

#include <QCollator>
#include <QList>
#include <QStringList>

// The order a file browser uses for names: the user's locale, case-insensitive, digit runs by
// their numeric value ("App 9" before "App 10").
class Collation {
public:
    static QCollator finderOrder();
    // Positions of `texts` in finder order; equal texts keep their order.
    static QList<qsizetype> stableOrder(const QStringList &texts);

    Collation() = delete;
};
