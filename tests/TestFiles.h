#pragma once

// Small file and date helpers shared by the tests.

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QTimeZone>

namespace TestFiles {

inline void writeBytes(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(file.write(data), data.size());
}

// The file's bytes, or nothing when it cannot be read.
inline QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QDateTime utc(const char *iso)
{
    QDateTime date = QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate);
    date.setTimeZone(QTimeZone::utc());
    return date;
}

} // namespace TestFiles
