#pragma once

// How QCOMPARE shows rows and inventories when they differ: their cells, not just "not equal".

#include "scanning/Inventory.h"
#include "scanning/Row.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

inline char *toString(const Row &row)
{
    QJsonObject cells;
    for (const Row::Cell &cell : row.cells())
        cells.insert(cell.key, cell.value);
    return qstrdup(QJsonDocument(cells).toJson(QJsonDocument::Compact).constData());
}

inline char *toString(const Inventory &inventory)
{
    return qstrdup(inventory.toJson().constData());
}
