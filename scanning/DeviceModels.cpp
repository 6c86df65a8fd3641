#include "scanning/DeviceModels.h"

#include <QFile>
#include <QHash>

namespace {

QHash<QString, QString> readTable()
{
    QHash<QString, QString> table;
    QFile file(QStringLiteral(":/models/device-models.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return table;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    for (const QString &line : lines) {
        if (line.startsWith(u'#'))
            continue;
        const qsizetype tab = line.indexOf(u'\t');
        if (tab > 0)
            table.insert(line.left(tab), line.mid(tab + 1).trimmed());
    }
    return table;
}

} // namespace

std::optional<QString> DeviceModels::name(const QString &productType)
{
    static const QHash<QString, QString> table = readTable();
    const auto found = table.constFind(productType);
    if (found == table.cend())
        return std::nullopt;
    return *found;
}

QString DeviceModels::shownName(const QString &productType)
{
    return name(productType).value_or(productType);
}
