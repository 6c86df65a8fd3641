#pragma once

#include <QCollator>

// The order a file browser uses for names: the user's locale, case-insensitive, digit runs by
// their numeric value ("App 9" before "App 10").
class Collation {
public:
    static QCollator finderOrder();

    Collation() = delete;
};
