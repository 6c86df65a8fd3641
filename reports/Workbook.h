#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <optional>

struct lxw_workbook;
struct lxw_format;

// An .xlsx workbook, made with libxlsxwriter in a private temporary folder and then saved like
// every export: whole or not at all, with the user's usual mode. Texts go in as text cells, so
// that a version "1.10" stays "1.10" and nothing is ever a formula.
class Workbook {
public:
    // One cell: text, a number shown with two decimals, a count, a day, or a moment in UTC. A
    // cell with nothing in it stays empty.
    struct Cell {
        enum class Kind { Empty, Text, Number, Count, Day, Moment };
        Kind kind = Kind::Empty;
        QString text;
        double number = 0;
        QDate day;
        QDateTime moment;

        static Cell of(const QString &text)
        {
            Cell cell;
            cell.kind = Kind::Text;
            cell.text = text;
            return cell;
        }
        static Cell of(std::optional<double> number);
        static Cell of(const QDate &day);
        static Cell of(const QDateTime &moment);
        // Named, not an overload of of(): a double must never turn into a count unseen.
        static Cell count(qint64 value);
    };
    using Line = QList<Cell>;

    Workbook();
    ~Workbook();
    Workbook(const Workbook &) = delete;
    Workbook &operator=(const Workbook &) = delete;

    // A sheet of a bold, frozen header row with a filter over it, then the lines, with each
    // column as wide as its texts need (within reason).
    void addTable(const QString &name, const QStringList &header, const QList<Line> &lines);
    // Throws Failure when the file cannot be made or saved.
    void save(const QString &path);

    // The most lines a sheet holds below its header.
    static constexpr qsizetype lineLimit = 1'048'575;

private:
    QTemporaryDir m_folder;
    QByteArray m_tmpdir;
    lxw_workbook *m_workbook = nullptr;
    lxw_format *m_bold = nullptr;
    lxw_format *m_twoPlaces = nullptr;
    lxw_format *m_whole = nullptr;
    lxw_format *m_day = nullptr;
    lxw_format *m_moment = nullptr;
    QString m_problem;
};
