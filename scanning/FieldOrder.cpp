#include "scanning/FieldOrder.h"

FieldOrder::FieldOrder(const QStringList &fields) : m_count(fields.size())
{
    m_positions.reserve(fields.size());
    // A name listed twice takes its first place; the later ones stay empty.
    for (qsizetype i = fields.size() - 1; i >= 0; --i)
        m_positions.insert(fields[i], i);
}

QStringList FieldOrder::values(const Row &row) const
{
    QStringList values(m_count);
    for (const Row::Cell &cell : row.cells()) {
        if (const auto found = m_positions.constFind(cell.key); found != m_positions.cend())
            values[*found] = cell.value;
    }
    return values;
}
