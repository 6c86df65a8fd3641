#include "common/DecimalText.h"

#include <cstdio>

namespace {

QString formatted(const char *format, double value)
{
    // Room for any double in fixed notation: up to 309 integer digits.
    char buffer[400];
    const int length = std::snprintf(buffer, sizeof buffer, format, value);
    return QString::fromLatin1(buffer, length);
}

} // namespace

QString DecimalText::twoPlaces(double value)
{
    return formatted("%.2f", value);
}

QString DecimalText::onePlace(double value)
{
    return formatted("%.1f", value);
}

QString DecimalText::signedTwoPlaces(double value)
{
    return formatted("%+.2f", value);
}
