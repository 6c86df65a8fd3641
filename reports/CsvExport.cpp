#include "reports/CsvExport.h"

#include "common/PlainText.h"

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
    value = guarded(std::move(value));
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

QByteArray CsvExport::content(const QStringList &fields, const QList<Row> &rows)
{
    QString text;
    text.reserve((rows.size() + 1) * fields.size() * 16);
    text += QChar(0xFEFF);
    auto appendLine = [&text](auto &&valueAt, qsizetype count) {
        for (qsizetype i = 0; i < count; ++i) {
            if (i)
                text += u',';
            text += field(valueAt(i));
        }
        text += QStringLiteral("\r\n");
    };
    appendLine([&](qsizetype i) { return fields[i]; }, fields.size());
    for (const Row &row : rows)
        appendLine([&](qsizetype i) { return row.value(fields[i]); }, fields.size());
    return text.toUtf8();
}

QString CsvExport::unusedPath(const QString &folder, const QString &stem)
{
    QString path = folder + u'/' + stem + QStringLiteral(".csv");
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = folder + u'/' + stem + u'-' + QString::number(n) + QStringLiteral(".csv");
    return path;
}
