#include "reports/CsvExport.h"

#include "common/PlainText.h"
#include "scanning/FieldOrder.h"

#include <QFileInfo>

QString CsvExport::guarded(QString value)
{
    const QString trimmed = value.trimmed();
    if (!trimmed.isEmpty()) {
        const QChar first = trimmed.front();
        if (first == u'=' || first == u'+' || first == u'-' || first == u'@')
            value.prepend(u'\'');
    }
    return value;
}

QString CsvExport::field(QString value)
{
    value = PlainText::wellFormed(guarded(std::move(value)));
    value.replace(u'"', QStringLiteral("\"\""));
    return u'"' + value + u'"';
}

QString CsvExport::tabSeparated(const QList<QStringList> &lines)
{
    QString text;
    for (const QStringList &cells : lines) {
        for (qsizetype i = 0; i < cells.size(); ++i) {
            if (i)
                text += u'\t';
            QString cell = PlainText::oneLine(guarded(cells[i]));
            cell.replace(u'\t', u' ');
            text += cell;
        }
        text += u'\n';
    }
    return text;
}

void CsvExport::write(const QStringList &fields, const QList<Row> &rows,
                      const std::function<void(QByteArrayView)> &write)
{
    // Written as it is made, a piece at a time: an export is never whole in memory.
    constexpr qsizetype pieceSize = 64 * 1024;
    QString text;
    text += QChar(0xFEFF);
    auto appendLine = [&](const QStringList &values) {
        for (qsizetype i = 0; i < values.size(); ++i) {
            if (i)
                text += u',';
            text += field(values[i]);
            if (text.size() >= pieceSize) {
                write(text.toUtf8());
                text.clear();
            }
        }
        text += QStringLiteral("\r\n");
    };
    appendLine(fields);
    const FieldOrder order(fields);
    for (const Row &row : rows)
        appendLine(order.values(row));
    write(text.toUtf8());
}

QByteArray CsvExport::content(const QStringList &fields, const QList<Row> &rows)
{
    QByteArray content;
    write(fields, rows, [&content](QByteArrayView piece) { content += piece; });
    return content;
}

QString CsvExport::unusedPath(const QString &folder, const QString &stem, const QString &suffix)
{
    QString path = folder + u'/' + stem + suffix;
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = folder + u'/' + stem + u'-' + QString::number(n) + suffix;
    return path;
}
