#include "app/cli/Printer.h"

#include "common/PlainText.h"

#include <cstdio>

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// The terminal's width, or 0 when the output is not a terminal.
int terminalWidth(FILE *stream)
{
    winsize size{};
    if (!isatty(fileno(stream)) || ioctl(fileno(stream), TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_col;
}

QString fitted(const QString &text, int width)
{
    if (text.size() <= width)
        return text.leftJustified(width);
    return text.left(std::max(0, width - 1)) + QChar(0x2026);
}

} // namespace

Printer::Printer(QTextStream &out, QTextStream &err) : m_out(out), m_err(err) {}

void Printer::printTable(const QStringList &headings, const QList<QStringList> &rows)
{
    QList<int> widths;
    for (const QString &heading : headings)
        widths.append(int(heading.size()));
    for (const QStringList &row : rows) {
        for (int i = 0; i < widths.size(); ++i)
            widths[i] = std::max(widths[i], int(row.value(i).size()));
    }
    if (const int available = terminalWidth(stdout); available > 0) {
        auto total = [&] {
            int sum = 0;
            for (int width : widths)
                sum += width + 2;
            return sum;
        };
        while (total() > available) {
            const auto widest = std::max_element(widths.begin(), widths.end());
            if (*widest <= 8)
                break;
            --*widest;
        }
    }
    auto printLine = [&](const QStringList &cells) {
        QString line;
        for (int i = 0; i < widths.size(); ++i)
            line += fitted(PlainText::printable(cells.value(i), true), widths[i]) +
                QStringLiteral("  ");
        while (line.endsWith(u' '))
            line.chop(1);
        m_out << line << "\n";
    };
    printLine(headings);
    for (const QStringList &row : rows)
        printLine(row);
}

void Printer::printJson(const QByteArray &json)
{
    printBytes(json + '\n');
}

void Printer::printBytes(QByteArrayView bytes)
{
    // Past the text stream, which would convert them; what it holds goes first.
    m_out.flush();
    std::fwrite(bytes.data(), 1, size_t(bytes.size()), stdout);
    // A script reading watch's lines as they come must not wait for the buffer to fill.
    std::fflush(stdout);
}

int Printer::usageError(const QString &message)
{
    m_err << "quillet-cli: " << PlainText::printable(message) << "\n";
    m_err.flush();
    return 2;
}

int Printer::failure(const QString &description)
{
    m_out.flush();
    m_err << PlainText::printable(description) << "\n";
    m_err.flush();
    return 1;
}
