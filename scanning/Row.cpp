#include "scanning/Row.h"

#include "scanning/AppList.h"

#include <cmath>

Row::Row(std::initializer_list<Cell> cells)
{
    m_cells.reserve(qsizetype(cells.size()));
    for (const Cell &cell : cells)
        insert(cell.key, cell.value);
}

QString Row::value(QStringView key) const
{
    const QString *found = find(key);
    return found ? *found : QString();
}

const QString *Row::find(QStringView key) const
{
    for (const Cell &cell : m_cells) {
        if (cell.key == key)
            return &cell.value;
    }
    return nullptr;
}

std::optional<double> Row::megabytes(QStringView key) const
{
    const QString *text = find(key);
    const std::optional<double> value = text ? AppList::parseNumber(*text) : std::nullopt;
    return value && std::isfinite(*value) && std::abs(*value) <= largestMegabytes ? value
                                                                                  : std::nullopt;
}

void Row::insert(const QString &key, const QString &value)
{
    for (Cell &cell : m_cells) {
        if (cell.key == key) {
            cell.value = value;
            return;
        }
    }
    m_cells.append({key, value});
}

bool operator==(const Row &a, const Row &b)
{
    if (a.size() != b.size())
        return false;
    for (const Row::Cell &cell : a.m_cells) {
        const QString *other = b.find(cell.key);
        if (!other || *other != cell.value)
            return false;
    }
    return true;
}
