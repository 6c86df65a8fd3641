#pragma once

#include "scanning/Row.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// The CSV file of the visible apps, made for spreadsheets: UTF-8 with a byte-order mark, every
// field quoted, CR LF after every line, and values that a spreadsheet would run as a formula
// defused with a leading apostrophe.
class CsvExport {
public:
    // The file, handed to `write` in pieces as it is made.
    static void write(const QStringList &fields, const QList<Row> &rows,
                      const std::function<void(QByteArrayView)> &write);
    static QByteArray content(const QStringList &fields, const QList<Row> &rows);
    // One field, quoted and guarded.
    static QString field(QString value);
    // The value with a leading apostrophe when a spreadsheet would run it as a formula.
    static QString guarded(QString value);
    // Lines of cells as tab-separated text, as spreadsheets paste it: guarded like the CSV,
    // with tabs and line breaks inside a cell made spaces.
    static QString tabSeparated(const QList<QStringList> &lines);
    // `stem`.csv in `folder`, or the first of `stem`-2.csv, `stem`-3.csv … that is not taken;
    // other exports give their own suffix.
    static QString unusedPath(const QString &folder, const QString &stem,
                              const QString &suffix = QStringLiteral(".csv"));

    CsvExport() = delete;
};
