#include "history/DeviceReview.h"

#include "common/Plural.h"
#include "history/HistoryStore.h"
#include "scanning/AppList.h"
#include "scanning/Column.h"
#include "scanning/Inventory.h"
#include "scanning/device/DeviceFacts.h"

DeviceReview::DeviceReview(const Inventory &scan)
{
    const DeviceFacts facts = scan.deviceFacts().shareable();
    m_sections = DeviceDescription::sheet(facts, appBytes(scan));
    QList<DeviceFacts> recorded{facts};
    try {
        for (const SavedScan &saved : HistoryStore().list().scans)
            recorded.append(saved.inventory.deviceFacts());
    } catch (const Failure &) {
        // Without the history, the device is judged on its own.
    }
    m_warnings = DeviceWarnings::of(facts,
                                    {scan.scannedAt.value_or(QDateTime()),
                                     DeviceWarnings::newestSystem(recorded),
                                     DeviceWarnings::unrestorable(scan.namedRows())});
}

QString DeviceReview::warningsCount() const
{
    if (m_warnings.isEmpty())
        return {};
    return Plural::of(m_warnings.size(), QStringLiteral("warning"), QStringLiteral("warnings"));
}

std::optional<qint64> DeviceReview::appBytes(const Inventory &scan)
{
    std::optional<double> megabytes;
    for (const Row &row : scan.namedRows()) {
        if (const std::optional<double> size = AppList::parseNumber(row.value(Column::totalMB)))
            megabytes = megabytes.value_or(0) + *size;
    }
    if (!megabytes)
        return std::nullopt;
    return qint64(*megabytes * 1e6);
}
