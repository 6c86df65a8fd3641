#include "common/PlainText.h"

#include <QTextDocument>

#include <algorithm>

QString PlainText::toolTip(const QString &text)
{
    if (text.isEmpty())
        return text;
    return Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal);
}

QString PlainText::shortened(const QString &text, qsizetype limit)
{
    if (text.size() <= limit)
        return text;
    qsizetype end = limit;
    // Never between the halves of a surrogate pair.
    if (end > 0 && text.at(end - 1).isHighSurrogate())
        --end;
    const qsizetype space = text.lastIndexOf(u' ', end);
    if (space > limit * 4 / 5)
        end = space;
    return QStringView(text).left(end).trimmed().toString() + QChar(0x2026);
}

namespace {

bool isIsolateMark(char16_t code)
{
    return code >= 0x2066 && code <= 0x2069;
}

} // namespace

QString PlainText::isolated(const QString &text)
{
    const bool turns = std::any_of(text.cbegin(), text.cend(), [](QChar c) {
        switch (c.direction()) {
        case QChar::DirR:
        case QChar::DirAL:
        case QChar::DirAN:
        case QChar::DirRLE:
        case QChar::DirRLO:
        case QChar::DirLRE:
        case QChar::DirLRO:
        case QChar::DirPDF:
        case QChar::DirRLI:
        case QChar::DirLRI:
        case QChar::DirFSI:
        case QChar::DirPDI:
            return true;
        default:
            return false;
        }
    });
    if (!turns)
        return text;
    QString result;
    result.reserve(text.size() + 2);
    result += QChar(0x2068);
    for (const QChar c : text) {
        if (!isIsolateMark(c.unicode()))
            result += c;
    }
    result += QChar(0x2069);
    return result;
}

QString PlainText::wellFormed(const QString &text)
{
    QString result = text;
    const qsizetype size = result.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = result.at(i);
        if (c.isHighSurrogate() && i + 1 < size && result.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate() || c.isNull() || c.unicode() == 0xFFFE || c.unicode() == 0xFFFF)
            result[i] = QChar::ReplacementCharacter;
    }
    return result;
}

QString PlainText::oneLine(QString text)
{
    for (QChar &c : text) {
        const char16_t u = c.unicode();
        if ((u >= 0x0A && u <= 0x0D) || u == 0x85 || u == 0x2028 || u == 0x2029)
            c = u' ';
    }
    return text;
}

QString PlainText::printable(const QString &text, bool oneLine)
{
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code == u'\t' || (oneLine && (code == u'\n' || code == u'\r')))
            result += u' ';
        else if (code == u'\n')
            result += c;
        else if (isIsolateMark(code))
            continue;
        else if (c.category() == QChar::Other_Control || (code >= 0x202A && code <= 0x202E))
            result += QChar::ReplacementCharacter;
        else
            result += c;
    }
    return result;
}
