#pragma once

#include "scanning/device/DeviceDescription.h"
#include "scanning/device/DeviceWarnings.h"

#include <QList>

struct Inventory;

// A scan's device as its sheet shows it: the facts grouped, the used storage split by the
// scan's own apps, and the warnings, judged against every device in the history (an iOS
// behind the newest one recorded).
class DeviceReview {
public:
    // Reads the history's index, never its archives.
    explicit DeviceReview(const Inventory &scan);

    const QList<DeviceDescription::Section> &sections() const { return m_sections; }
    const QList<DeviceWarnings::Warning> &warnings() const { return m_warnings; }
    // "2 warnings", or empty.
    QString warningsCount() const;

    // The bytes the scan's apps take, from their "Total MB" cells; unknown without any.
    static std::optional<qint64> appBytes(const Inventory &scan);

private:
    QList<DeviceDescription::Section> m_sections;
    QList<DeviceWarnings::Warning> m_warnings;
};
