#pragma once

#include <QString>

// Numbers as the C library's "%.2f" writes them, whatever the locale: a full stop, no grouping,
// and a tie rounded as its binary value falls. Qt's own formatting rounds 0.125 up to "0.13".
class DecimalText {
public:
    static QString twoPlaces(double value);
    static QString onePlace(double value);
    // Always with a sign: "+0.50", "-2.25".
    static QString signedTwoPlaces(double value);

    DecimalText() = delete;
};
