#include "scanning/ScanRun.h"

#include "scanning/ScanError.h"
#include "scanning/Scanner.h"

#include <QLocale>

namespace {

// "Ann's iPad, Ben's iPhone and Cart iPad 2".
QString listed(const QList<std::pair<QString, QString>> &devices)
{
    QStringList titles;
    for (const auto &device : devices)
        titles.append(device.first);
    return QLocale(QLocale::English).createSeparatedList(titles);
}

} // namespace

ScanRun::ScanRun(qsizetype total, bool automatic) : m_total(total), m_automatic(automatic) {}

QString ScanRun::progressLead(qsizetype index, qsizetype total, const QString &device)
{
    if (total < 2)
        return QStringLiteral("Scanning %1\u2026 ").arg(device);
    return QStringLiteral("Scanning %1 (%2 of %3)\u2026 ")
        .arg(device, QString::number(index + 1), QString::number(total));
}

void ScanRun::saved(const QString &device, const Inventory &inventory)
{
    const QList<Row> rows = inventory.namedRows();
    m_saved.append({device,
                    rows.isEmpty() ? QStringLiteral("Scan complete. The device listed "
                                                    "no apps.")
                                   : Scanner::completedText(rows)});
}

void ScanRun::failed(const QString &device, const QString &description)
{
    m_failures.append({device, description});
}

QString ScanRun::summary(bool cancelled) const
{
    if (cancelled) {
        if (m_saved.isEmpty())
            return ScanError::cancelledMessage();
        return QStringLiteral("Scan cancelled after %1 of %2 devices. The finished scans are "
                              "saved: %3.")
            .arg(QString::number(m_saved.size()), QString::number(m_total), listed(m_saved));
    }
    // A device that waits for its user, its advice given already, changes nothing.
    if (m_saved.isEmpty() && m_failures.isEmpty())
        return {};
    // One device: what its scan said, as when only that one is connected.
    if (m_saved.size() == 1 && m_failures.isEmpty()) {
        const auto &[device, said] = m_saved.first();
        return m_automatic ? QStringLiteral("%1 was connected. %2").arg(device, said) : said;
    }
    if (m_failures.size() == 1 && m_saved.isEmpty()) {
        const auto &[device, said] = m_failures.first();
        return m_automatic ? QStringLiteral("%1 was connected. %2").arg(device, said) : said;
    }
    QString text = m_saved.isEmpty()
        ? QStringLiteral("No device could be scanned.")
        : QStringLiteral("Scanned %1 of %2 devices; each scan is saved in the history: %3.")
              .arg(QString::number(m_saved.size()), QString::number(m_total), listed(m_saved));
    if (!m_failures.isEmpty() && !m_saved.isEmpty())
        text += QStringLiteral(" Not scanned: %1.").arg(listed(m_failures));
    return text;
}

std::pair<QString, QString> ScanRun::failureAlert() const
{
    const QString message = m_failures.size() == 1
        ? QStringLiteral("%1 could not be scanned").arg(m_failures.first().first)
        : QStringLiteral("%1 devices could not be scanned").arg(m_failures.size());
    QStringList explanations;
    for (const auto &[device, description] : m_failures)
        explanations.append(m_failures.size() == 1 ? description
                                                   : device + QStringLiteral(": ") + description);
    return {message, explanations.join(QStringLiteral("\n\n"))};
}
