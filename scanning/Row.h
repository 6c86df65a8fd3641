#pragma once

#include <QList>
#include <QString>

#include <initializer_list>
#include <optional>

// One app of an inventory: cell texts by column name. Rows hold a dozen or so cells, so a
// flat list searched in order is faster and far smaller than a hash, and the column names
// are shared between rows (decoding hands out one string per name).
class Row {
public:
    struct Cell {
        QString key;
        QString value;
    };

    Row() = default;
    Row(std::initializer_list<Cell> cells);

    // The cell text, or empty text when the row has no such column.
    QString value(QStringView key) const;
    const QString *find(QStringView key) const;
    bool contains(QStringView key) const { return find(key) != nullptr; }
    // A size cell ("Total MB"…) as a number, or nothing when it is missing, not one, or larger
    // than any device holds.
    std::optional<double> megabytes(QStringView key) const;
    // A petabyte: no device holds one, so a size past it is damage, shown as unknown.
    static constexpr double largestMegabytes = 1e9;

    // Sets a cell, replacing an existing one of the same name.
    void insert(const QString &key, const QString &value);
    // Adds a cell the caller knows is not there yet.
    void append(const QString &key, const QString &value) { m_cells.append({key, value}); }
    void reserve(qsizetype size) { m_cells.reserve(size); }

    qsizetype size() const { return m_cells.size(); }
    bool isEmpty() const { return m_cells.isEmpty(); }
    const QList<Cell> &cells() const { return m_cells; }

    // Same columns with the same texts, in any order.
    friend bool operator==(const Row &a, const Row &b);

private:
    QList<Cell> m_cells;
};

// A row is its list's pointer and size, which may be moved bytewise: a growing list of
// millions of rows is then reallocated in place rather than copied beside itself.
Q_DECLARE_TYPEINFO(Row, Q_RELOCATABLE_TYPE);
