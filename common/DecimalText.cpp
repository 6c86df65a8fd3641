#include "common/DecimalText.h"

#include <charconv>

namespace {

// Fixed notation as printf's "%.Nf" writes it in the C locale, whatever the user's locale.
QString fixed(double value, int places, bool sign = false)
{
    // Room for any double in fixed notation: up to 309 integer digits.
    char buffer[400];
    char *start = buffer + 1;
    const std::to_chars_result result =
        std::to_chars(start, buffer + sizeof buffer, value, std::chars_format::fixed, places);
    if (sign && *start != '-')
        *--start = '+';
    return QString::fromLatin1(start, result.ptr - start);
}

} // namespace

QString DecimalText::twoPlaces(double value)
{
    return fixed(value, 2);
}

QString DecimalText::onePlace(double value)
{
    return fixed(value, 1);
}

QString DecimalText::signedTwoPlaces(double value)
{
    return fixed(value, 2, true);
}
