#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>

// Where the commands write: results on standard output, messages on standard error. Text
// from a phone or a file never reaches the terminal unprepared (PlainText); data formats are
// written as their exact bytes.
class Printer {
public:
    Printer(QTextStream &out, QTextStream &err);

    QTextStream &out() { return m_out; }
    QTextStream &err() { return m_err; }

    // Columns two spaces apart; on a terminal the widest gives way until the table fits.
    void printTable(const QStringList &headings, const QList<QStringList> &rows);
    // The output of --json: one compact document and a line feed, exactly these bytes.
    void printJson(const QByteArray &json);
    // A data format such as CSV, byte for byte.
    void printBytes(QByteArrayView bytes);
    // "quillet-cli: …" on standard error; returns the exit status of a usage error, 2.
    int usageError(const QString &message);
    // The message of a failed operation, as the window would show it; returns 1.
    int failure(const QString &description);

private:
    QTextStream &m_out;
    QTextStream &m_err;
};
