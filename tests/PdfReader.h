#pragma once

// Reads PDFs back with poppler's command-line tools, so that the tests check what another
// program sees rather than what QPdfWriter was asked to draw.

#include <QFile>
#include <QImage>
#include <QList>
#include <QMap>
#include <QProcess>
#include <QRectF>
#include <QStringList>
#include <QXmlStreamReader>

namespace PdfReader {

struct Word {
    QString text;
    QRectF box;
};
using Page = QList<Word>;

inline bool available()
{
    return QFile::exists(QStringLiteral("/usr/bin/pdfinfo")) &&
        QFile::exists(QStringLiteral("/usr/bin/pdftotext")) &&
        QFile::exists(QStringLiteral("/usr/bin/pdftoppm"));
}

// Standard output of a poppler tool, or nothing when it fails.
inline QByteArray run(const QString &tool, const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("/usr/bin/") + tool, arguments);
    if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput();
}

// "Title", "Pages", "Creator", "Page size"… as pdfinfo prints them.
inline QMap<QString, QString> info(const QString &path)
{
    QMap<QString, QString> fields;
    const QByteArray output =
        run(QStringLiteral("pdfinfo"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), path});
    for (const QString &line : QString::fromUtf8(output).split(u'\n')) {
        const qsizetype colon = line.indexOf(u':');
        if (colon > 0)
            fields.insert(line.left(colon), line.mid(colon + 1).trimmed());
    }
    return fields;
}

// Every page's words with their boxes in points, y growing downward.
inline QList<Page> words(const QString &path)
{
    QList<Page> pages;
    QXmlStreamReader xml(run(QStringLiteral("pdftotext"),
                             {QStringLiteral("-bbox"), QStringLiteral("-enc"),
                              QStringLiteral("UTF-8"), path, QStringLiteral("-")}));
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"page") {
            pages.append(Page());
        } else if (xml.name() == u"word" && !pages.isEmpty()) {
            const QXmlStreamAttributes a = xml.attributes();
            auto at = [&a](const char *name) {
                return a.value(QLatin1StringView(name)).toDouble();
            };
            const QPointF topLeft(at("xMin"), at("yMin"));
            const QPointF bottomRight(at("xMax"), at("yMax"));
            pages.last().append({xml.readElementText(), QRectF(topLeft, bottomRight)});
        }
    }
    return pages;
}

// Page `number` (from 1) in grey, one pixel a point.
inline QImage image(const QString &path, int number)
{
    const QString page = QString::number(number);
    return QImage::fromData(
        run(QStringLiteral("pdftoppm"),
            {QStringLiteral("-r"), QStringLiteral("72"), QStringLiteral("-gray"),
             QStringLiteral("-f"), page, QStringLiteral("-l"), page, path}));
}

// The words whose tops are within a point of `word`'s, left to right.
inline Page lineOf(const Page &page, const Word &word)
{
    Page line;
    for (const Word &other : page) {
        if (qAbs(other.box.top() - word.box.top()) < 1)
            line.append(other);
    }
    std::sort(line.begin(), line.end(),
              [](const Word &a, const Word &b) { return a.box.left() < b.box.left(); });
    return line;
}

inline QString text(const Page &line)
{
    QStringList texts;
    for (const Word &word : line)
        texts.append(word.text);
    return texts.join(u' ');
}

inline const Word *find(const Page &page, const QString &text)
{
    for (const Word &word : page) {
        if (word.text == text)
            return &word;
    }
    return nullptr;
}

} // namespace PdfReader
