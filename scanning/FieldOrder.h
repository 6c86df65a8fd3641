#pragma once

#include "scanning/Row.h"

#include <QHash>
#include <QStringList>

// Rows' cells in the order of a list of columns, found through a hash made once: a row of a
// hundred thousand columns costs its size, not its size squared.
class FieldOrder {
public:
    explicit FieldOrder(const QStringList &fields);

    // The texts of `row` under each field, empty where it has none.
    QStringList values(const Row &row) const;

private:
    QHash<QString, qsizetype> m_positions;
    qsizetype m_count = 0;
};
